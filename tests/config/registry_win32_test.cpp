// The registry lookup through the Win32 functions, against values that the
// system's own reg.exe wrote into the 32-bit and the 64-bit registry views.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/file_error.h"
#include "config/registry.h"

namespace velmoth {
namespace {

constexpr char kKey[] = "SOFTWARE\\velmoth-test\\views";
const std::wstring kRegKey = L"\"HKLM\\SOFTWARE\\velmoth-test\\views\"";

// Runs reg.exe with `arguments` and gives its exit code.
DWORD Reg(const std::wstring& arguments) {
  std::wstring command = L"reg.exe " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    return GetLastError();
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// Stores raw bytes as a value of `type` in the 32-bit view.
void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\velmoth-test\\views", 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

struct RegistryViews : ::testing::Test {
  ~RegistryViews() override {
    Reg(L"delete " + kRegKey + L" /f");
    Reg(L"delete " + kRegKey + L" /f /reg:32");
  }
};

TEST_F(RegistryViews, ThirtyTwoBitViewFirstThenSixtyFourAndOnlyStrings) {
  const std::wstring add = L"add " + kRegKey + L" /f /v ";
  ASSERT_EQ(Reg(add + L"Both /t REG_SZ /d \"C:\\Mail\\64 bit\""), 0u);
  ASSERT_EQ(Reg(add + L"Both /t REG_SZ /d \"C:\\Mail\\32 bit\" /reg:32"), 0u);
  ASSERT_EQ(Reg(add + L"Only64 /t REG_EXPAND_SZ /d \"%SystemRoot%\\Mail\""), 0u);
  ASSERT_EQ(Reg(add + L"Number /t REG_DWORD /d 7 /reg:32"), 0u);
  ASSERT_EQ(Reg(add + L"Number /t REG_SZ /d \"not taken\""), 0u);
  ASSERT_EQ(Reg(add + L"Unicode /t REG_SZ /d \"D:\\Bad M\u00e4il \u65e5\u672c\" /reg:32"), 0u);
  ASSERT_EQ(Reg(add + L"Empty /t REG_SZ /d \"\" /reg:32"), 0u);
  const wchar_t unterminated[] = {L'a', L'b', L'c'};
  SetRaw(L"Unterminated", REG_SZ, unterminated, sizeof unterminated);
  const wchar_t embedded[] = L"ab\0cd";
  SetRaw(L"Embedded", REG_SZ, embedded, sizeof embedded);
  SetRaw(L"Binary", REG_BINARY, "C:\\x", 4);

  const struct {
    const char* value;
    const char* text;
  } cases[] = {
      {"Both", "C:\\Mail\\32 bit"},
      {"Only64", "%SystemRoot%\\Mail"},
      {"Number", ""},
      {"Unicode", "D:\\Bad M\xc3\xa4il \xe6\x97\xa5\xe6\x9c\xac"},
      {"Empty", ""},
      {"Unterminated", "abc"},
      {"Embedded", "ab"},
      {"Binary", ""},
      {"Missing", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GetRegString(kKey, c.value), c.text) << c.value;
  EXPECT_EQ(GetRegString("SOFTWARE\\velmoth-test\\absent", "Both"), "");
}

TEST_F(RegistryViews, FailuresNameTheKeyAndTheValue) {
  // Only in the 64-bit view: the 32-bit one has no such key, and the failure told
  // is the one that got further.
  ASSERT_EQ(Reg(L"add " + kRegKey + L" /f /v Number /t REG_DWORD /d 7"), 0u);
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kKey;
  const struct {
    const char* key;
    const char* value;
    int number;
    std::string description;
    std::string path;
  } cases[] = {
      {"SOFTWARE\\velmoth-test\\absent", "Number", ERROR_FILE_NOT_FOUND,
       "The registry key does not exist", "HKEY_LOCAL_MACHINE\\SOFTWARE\\velmoth-test\\absent"},
      {kKey, "Missing", ERROR_FILE_NOT_FOUND, "The registry value \"Missing\" does not exist", key},
      {kKey, "Number", ERROR_UNSUPPORTED_TYPE, "The registry value \"Number\" is not a string",
       key},
  };
  for (const auto& c : cases) {
    try {
      ReadRegString(c.key, c.value);
      ADD_FAILURE() << c.value << ": no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), c.number) << c.value;
      EXPECT_EQ(error.description(), c.description) << c.value;
      EXPECT_EQ(error.path(), c.path) << c.value;
    }
    EXPECT_EQ(GetRegString(c.key, c.value), "") << c.value;
  }
}

}  // namespace
}  // namespace velmoth
