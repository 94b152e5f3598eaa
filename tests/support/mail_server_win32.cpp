// The scratch mail server on Windows: its queues in a directory under the temp
// directory, its two registry values written into both registry views under
// HKEY_LOCAL_MACHINE and put back as they were when the server goes away.
#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/path_text.h"
#include "support/mail_server.h"

namespace velmoth::testing {
namespace {

namespace fs = std::filesystem;

struct RegistryValue {
  const wchar_t* key;
  const wchar_t* name;
};

constexpr RegistryValue kBadMail{L"SOFTWARE\\korvane\\korvane", L"Bad Mail Directory"};
constexpr RegistryValue kOutbound{L"SOFTWARE\\korvane\\korvane\\connectors\\smtp",
                                  L"Outbound Queue Directory"};
// The reader may look in either view first; a value must not linger in the other.
constexpr REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// What a value held before any scratch server of this process touched it.
struct SavedValue {
  RegistryValue value;
  REGSAM view;
  std::optional<std::pair<DWORD, std::vector<BYTE>>> data;
};

void Check(LSTATUS status, const char* what) {
  if (status != ERROR_SUCCESS) {
    throw std::runtime_error(std::string(what) + " failed with error " + std::to_string(status));
  }
}

// Opens, creating it if needed, one view's key for reading and writing values.
class Key {
 public:
  Key(const wchar_t* path, REGSAM view) {
    Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE | view, nullptr, &key_, nullptr),
          "RegCreateKeyExW");
  }
  ~Key() { RegCloseKey(key_); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  std::optional<std::pair<DWORD, std::vector<BYTE>>> Get(const wchar_t* name) const {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key_, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
      return {};
    data.resize(size);
    return std::make_pair(type, std::move(data));
  }

  void Set(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    Check(RegSetValueExW(key_, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
          "RegSetValueExW");
  }

  void Remove(const wchar_t* name) {
    const LSTATUS status = RegDeleteValueW(key_, name);
    if (status != ERROR_FILE_NOT_FOUND) Check(status, "RegDeleteValueW");
  }

 private:
  HKEY key_ = nullptr;
};

std::vector<BYTE> StringData(const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return {bytes, bytes + (text.size() + 1) * sizeof(wchar_t)};
}

// Taken once, before this process's first scratch server writes anything. The
// servers of one process live one after the other, each putting these back.
const std::vector<SavedValue>& OriginalValues() {
  static const std::vector<SavedValue> saved = [] {
    std::vector<SavedValue> values;
    for (const RegistryValue& value : {kBadMail, kOutbound}) {
      for (const REGSAM view : kViews) {
        values.push_back({value, view, Key(value.key, view).Get(value.name)});
      }
    }
    return values;
  }();
  return saved;
}

void WriteValue(const RegistryValue& value, const std::string& text) {
  for (const REGSAM view : kViews) {
    Key key(value.key, view);
    if (text.empty()) {
      key.Remove(value.name);
    } else {
      key.Set(value.name, REG_SZ, StringData(PathFromText(text).native()));
    }
  }
}

// One scratch directory per process, so that the directory texts can be known
// before a server exists.
const fs::path& ProcessRoot() {
  static const fs::path root = [] {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return fs::path(std::wstring(temp, length)) /
           (L"velmoth-test-" + std::to_wstring(GetCurrentProcessId()));
  }();
  return root;
}

// Read-only files would stop the clean-up.
void RemoveTree(const fs::path& root) {
  std::error_code ignored;
  for (fs::recursive_directory_iterator it(root, ignored), end; it != end; it.increment(ignored)) {
    SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(root, ignored);
}

}  // namespace

MailServer::MailServer() : root_(ProcessRoot()), locations_(badMail(), outbound()) {
  OriginalValues();
  RemoveTree(root_);
  fs::create_directories(badMail() / "messages");
  fs::create_directories(outbound() / "messages");
  Configure(BadMailValue(), OutboundValue());
}

MailServer::~MailServer() {
  for (const SavedValue& saved : OriginalValues()) {
    try {
      Key key(saved.value.key, saved.view);
      if (saved.data) {
        key.Set(saved.value.name, saved.data->first, saved.data->second);
      } else {
        key.Remove(saved.value.name);
      }
    } catch (const std::exception&) {
      // Nothing better to do in a destructor; the next server overwrites them.
    }
  }
  RemoveTree(root_);
}

fs::path MailServer::mail() const { return root_ / "Mail"; }

std::string MailServer::BadMailValue() { return PathText(ProcessRoot() / "Mail" / "Bad Mail"); }

std::string MailServer::OutboundValue() {
  return PathText(ProcessRoot() / "Mail" / "Queue" / "Outbound");
}

void MailServer::WriteRegistry(const std::string& badMailValue, const std::string& outboundValue) {
  WriteValue(kBadMail, badMailValue);
  WriteValue(kOutbound, outboundValue);
}

}  // namespace velmoth::testing
