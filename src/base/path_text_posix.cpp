// On POSIX a path is its bytes: the text is the native string as it is.
#include "base/path_text.h"

namespace velmoth {

std::string PathText(const std::filesystem::path& path) { return path.string(); }

std::filesystem::path PathFromText(const std::string& text) { return std::filesystem::path(text); }

}  // namespace velmoth
