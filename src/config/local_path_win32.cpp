// On Windows a directory path from the registry opens as it is; only its UTF-8
// text has to become a native path.
#include "config/local_path.h"

namespace velmoth {

std::filesystem::path LocalDirectoryPath(const std::string& directory) {
  return std::filesystem::path(std::u8string(directory.begin(), directory.end()));
}

}  // namespace velmoth
