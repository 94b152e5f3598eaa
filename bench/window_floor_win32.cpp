// window_floor.exe BADMAIL: the floor of velmoth.exe's launch. Lists the Bad Mail
// directory, reads each command file whole, looks at its message file's
// attributes, then shows a plain window and runs its message loop.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

void ReadWhole(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  static char buffer[64 * 1024];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  CloseHandle(file);
}

int ScanFloor(const std::wstring& badMail) {
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileExW((badMail + L"\\*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  int withMessage = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ReadWhole(badMail + L"\\" + found.cFileName);
    WIN32_FILE_ATTRIBUTE_DATA message{};
    if (GetFileAttributesExW((badMail + L"\\messages\\" + found.cFileName).c_str(),
                             GetFileExInfoStandard, &message)) {
      ++withMessage;
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return withMessage;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  if (__argc != 2) return 2;
  ScanFloor(__wargv[1]);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"VelmothWindowFloor";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Floor",
                                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 577, 289, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
