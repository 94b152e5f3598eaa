// Turns a directory path as the mail server stores it ("D:\Mail\Badmail") into a
// path this process can open.
#pragma once

#include <filesystem>
#include <string>

namespace velmoth {

// On Windows the text as it is. Elsewhere a drive path maps into the Wine
// prefix's dosdevices, where each name missing as written is found without letter
// case, as Wine finds it (the first match in the directory; none leaves it as
// written); an absolute POSIX path stays as it is. A UNC or relative path throws a
// FileError that names it, a drive the prefix does not map one that names the
// drive and its dosdevices link.
std::filesystem::path LocalDirectoryPath(const std::string& directory);

#ifndef _WIN32
// The Wine prefix the mail server runs in: $WINEPREFIX, else ~/.wine.
std::filesystem::path WinePrefix();
#endif

}  // namespace velmoth
