// Registry values on Windows, read through the registry API from the 32-bit view
// of HKEY_LOCAL_MACHINE first, then from the 64-bit one.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/wide_text.h"
#include "config/registry.h"
#include "config/registry_lookup.h"
#include "files/scoped_generic.h"

namespace velmoth {
namespace {

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

struct KeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Free(HKEY key) { ::RegCloseKey(key); }
};
using ScopedKey = ScopedGeneric<HKEY, KeyTraits>;

// A value read whole, with its text up to the first NUL; a value stored without
// one keeps its last character.
RegLookup StringValue(DWORD type, const std::vector<wchar_t>& data, DWORD size) {
  if (!IsStringType(type)) return {RegLookup::kNotAString};
  std::wstring text(data.data(), size / sizeof(wchar_t));
  text.resize(std::min(text.size(), text.find(L'\0')));
  return RegLookup(Narrow(text));
}

// The value of an open key.
RegLookup QueryValue(HKEY key, const std::wstring& valueName) {
  DWORD type = 0;
  DWORD size = 0;
  LONG status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size);
  // The value may grow between asking its size and reading it; try again then.
  for (int attempt = 0; attempt < 5 && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA);
       ++attempt) {
    if (!IsStringType(type)) return {RegLookup::kNotAString};
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_SUCCESS) return StringValue(type, data, size);
  }
  return {RegLookup::kNoValue, static_cast<int>(status)};
}

// The value in one registry view.
RegLookup QueryView(const std::wstring& keyPath, const std::wstring& valueName, REGSAM view) {
  HKEY key = nullptr;
  // KEY_READ only: an account that may read the key but not change it still gets in.
  const LONG status =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | view, &key);
  if (status != ERROR_SUCCESS) return {RegLookup::kNoKey, static_cast<int>(status)};
  const ScopedKey handle(key);
  return QueryValue(key, valueName);
}

}  // namespace

std::string ReadRegString(const std::string& keyPath, const std::string& valueName) {
  const std::wstring key = Widen(keyPath);
  const std::wstring value = Widen(valueName);
  RegLookup found = QueryView(key, value, KEY_WOW64_32KEY);
  if (!found.Exists()) found = Further(std::move(found), QueryView(key, value, KEY_WOW64_64KEY));
  return TextOrThrow(std::move(found), keyPath, valueName);
}

}  // namespace velmoth
