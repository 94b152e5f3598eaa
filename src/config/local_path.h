// Turns a directory path as the mail server stores it ("D:\Mail\Badmail") into a
// path this process can open.
#pragma once

#include <filesystem>
#include <string>

namespace velmoth {

// On Windows the text as it is. Elsewhere a drive path maps into the Wine
// prefix's dosdevices, an absolute POSIX path stays as it is, and a UNC or
// relative path throws a FileError that names it.
std::filesystem::path LocalDirectoryPath(const std::string& directory);

#ifndef _WIN32
// The Wine prefix the mail server runs in: $WINEPREFIX, else ~/.wine.
std::filesystem::path WinePrefix();
#endif

}  // namespace velmoth
