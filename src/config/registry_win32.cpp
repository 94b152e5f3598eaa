// Registry values on Windows, read through the registry API from the 32-bit view
// of HKEY_LOCAL_MACHINE first, then from the 64-bit one.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "config/registry.h"
#include "base/wide_text.h"

namespace velmoth {
namespace {

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

class KeyHandle {
 public:
  explicit KeyHandle(HKEY key) : key_(key) {}
  ~KeyHandle() { ::RegCloseKey(key_); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

// The value in one registry view: its text up to the first NUL, empty text for a
// value of another type, nullopt when the key or the value is not there or cannot
// be read.
std::optional<std::string> QueryView(const std::wstring& keyPath, const std::wstring& valueName,
                                     REGSAM view) {
  HKEY key = nullptr;
  // KEY_READ only: an account that may read the key but not change it still gets in.
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | view, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  const KeyHandle handle(key);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The value may grow between asking its size and reading it; try again then.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (!IsStringType(type)) return std::string();
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LONG status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(data.data()), &got);
    if (status == ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    if (!IsStringType(type)) return std::string();
    // Up to the first NUL; a value stored without one keeps its last character.
    std::wstring text(data.data(), got / sizeof(wchar_t));
    text.resize(std::min(text.size(), text.find(L'\0')));
    return Narrow(text);
  }
  return std::nullopt;
}

}  // namespace

std::string GetRegString(const std::string& keyPath, const std::string& valueName) {
  try {
    const std::wstring key = Widen(keyPath);
    const std::wstring value = Widen(valueName);
    if (auto text = QueryView(key, value, KEY_WOW64_32KEY)) return std::move(*text);
    return QueryView(key, value, KEY_WOW64_64KEY).value_or(std::string());
  } catch (const std::exception&) {  // out of memory
    return {};
  }
}

}  // namespace velmoth
