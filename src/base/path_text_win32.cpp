// On Windows a path is UTF-16; the core's text is its UTF-8 form.
#include "base/path_text.h"
#include "base/wide_text.h"

namespace velmoth {

std::string PathText(const std::filesystem::path& path) { return Narrow(path.native()); }

std::filesystem::path PathFromText(const std::string& text) {
  return std::filesystem::path(Widen(text));
}

}  // namespace velmoth
