// FileError and the error numbers' texts common to every platform.
#include "base/file_error.h"

#include "base/path_text.h"

namespace velmoth {

FileError::FileError(ErrorKind kind, int number, std::string description, std::string path)
    : std::runtime_error(path + ": " + description + " (error " + std::to_string(number) + ")"),
      kind_(kind),
      number_(number),
      description_(std::move(description)),
      path_(std::move(path)) {}

void ThrowError(int number, const std::filesystem::path& path) {
  throw FileError(KindOfNumber(number), number, ErrorDescription(number), PathText(path));
}

}  // namespace velmoth
