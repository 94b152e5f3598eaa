// A stand-in for the text viewer in the window tests: appends how it was started
// (its show command and its command line) to the file VELMOTH_VIEWER_LOG names.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t log[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
  const std::wstring line = std::to_wstring(show) + L" " + GetCommandLineW() + L"\n";
  const HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(line.size() * sizeof(wchar_t));
  const bool ok = WriteFile(file, line.data(), size, &written, nullptr) && written == size;
  CloseHandle(file);
  return ok ? 0 : 1;
}
