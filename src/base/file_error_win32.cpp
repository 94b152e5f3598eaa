// Error numbers on Windows are GetLastError values; their texts are the system's,
// from FormatMessageW.
#include <windows.h>

#include "base/file_error.h"
#include "base/wide_text.h"

namespace velmoth {

std::string ErrorDescription(int number) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(number), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "Unknown error";
  std::wstring description(text, length);
  LocalFree(text);
  while (!description.empty() && (description.back() == L'\r' || description.back() == L'\n' ||
                                  description.back() == L' ')) {
    description.pop_back();
  }
  return Narrow(description);
}

ErrorKind KindOfNumber(int number) {
  switch (static_cast<DWORD>(number)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ErrorKind::kNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
      return ErrorKind::kExists;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_WRITE_PROTECT:
      return ErrorKind::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
      return ErrorKind::kNoSpace;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return ErrorKind::kBusy;
    case kErrorIsLink:  // ERROR_STOPPED_ON_SYMLINK, which mingw-w64's headers lack
    case ERROR_CANT_ACCESS_FILE:
      return ErrorKind::kLink;
    default:
      return ErrorKind::kOther;
  }
}

void ThrowLastError(const std::filesystem::path& path) {
  ThrowError(static_cast<int>(GetLastError()), path);
}

}  // namespace velmoth
