// Error numbers on POSIX are errno values; their texts are strerror's.
#include <cerrno>
#include <cstring>

#include "base/file_error.h"

namespace velmoth {

std::string ErrorDescription(int number) { return std::strerror(number); }

bool IsNotFoundNumber(int number) { return number == ENOENT || number == ENOTDIR; }

void ThrowLastError(const std::filesystem::path& path) { ThrowError(errno, path); }

}  // namespace velmoth
