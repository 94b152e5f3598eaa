// Paths as the text the core keeps in rows, messages and registry values: UTF-8
// on Windows, the name bytes as they are on POSIX.
#pragma once

#include <filesystem>
#include <string>

namespace velmoth {

std::string PathText(const std::filesystem::path& path);
// The inverse of PathText.
std::filesystem::path PathFromText(const std::string& text);

}  // namespace velmoth
