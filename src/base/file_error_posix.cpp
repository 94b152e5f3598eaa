// Error numbers on POSIX are errno values; their texts are strerror's.
#include <cerrno>
#include <cstring>

#include "base/file_error.h"

namespace velmoth {

std::string ErrorDescription(int number) { return std::strerror(number); }

ErrorKind KindOfNumber(int number) {
  switch (number) {
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::kNotFound;
    case EEXIST:
    case ENOTEMPTY:
      return ErrorKind::kExists;
    case EACCES:
    case EPERM:
    case EROFS:
      return ErrorKind::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ErrorKind::kNoSpace;
    case EBUSY:
    case ETXTBSY:
      return ErrorKind::kBusy;
    default:
      return ErrorKind::kOther;
  }
}

void ThrowLastError(const std::filesystem::path& path) { ThrowError(errno, path); }

}  // namespace velmoth
