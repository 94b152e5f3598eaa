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

bool IsNotFoundNumber(int number) {
  return number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND;
}

void ThrowLastError(const std::filesystem::path& path) {
  ThrowError(static_cast<int>(GetLastError()), path);
}

}  // namespace velmoth
