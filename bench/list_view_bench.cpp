// list_view_bench.exe [ROWS]: how long velmoth.exe's list, empty as at start, takes
// to take in ROWS rows (100,000 by default) through its MailList, as a scan fills
// it, and to paint the first screen; prints the seconds.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/win32/list_view_mail_list.h"

namespace {

using velmoth::win32::ListViewMailList;
using Clock = std::chrono::steady_clock;

// Hands the control's notifications to the list, as frmMain does.
LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* list = reinterpret_cast<ListViewMailList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NOTIFY && list != nullptr)
    return list->Notify(*reinterpret_cast<NMHDR*>(lParam));
  return DefWindowProcW(window, message, wParam, lParam);
}

// A shown window holding a list view with frmMain's styles, which Attach gives it
// the form's columns.
HWND MakeListView(ListViewMailList& list) {
  WNDCLASSW parentClass{};
  parentClass.lpfnWndProc = ParentProcedure;
  parentClass.hInstance = GetModuleHandleW(nullptr);
  parentClass.lpszClassName = L"VelmothListBench";
  RegisterClassW(&parentClass);
  const HWND parent = CreateWindowExW(0, parentClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0,
                                      600, 320, nullptr, nullptr, parentClass.hInstance, nullptr);
  SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&list));
  const HWND control = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0,
      577, 289, parent, nullptr, parentClass.hInstance, nullptr);
  list.Attach(control);
  ShowWindow(parent, SW_SHOWNORMAL);
  return parent;
}

// The list filled as RefreshMailList fills it once its scan is done.
double TimeFill(ListViewMailList& list, HWND parent,
                const std::vector<velmoth::BadMailEntry>& entries) {
  const auto start = Clock::now();
  list.list().Replace(entries);
  UpdateWindow(parent);  // the first screen painted
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  std::vector<velmoth::BadMailEntry> entries;
  for (int i = 0; i < rows; ++i) {
    entries.push_back({"20251206-" + std::to_string(1000000 + i) + ".msg",
                       static_cast<std::uint64_t>((i * 7919) % 100000),
                       velmoth::FileDate(std::chrono::seconds(1764990000 - i))});
  }
  ListViewMailList list;
  const HWND parent = MakeListView(list);
  std::printf("%.6f\n", TimeFill(list, parent, entries));
  DestroyWindow(parent);
  return 0;
}
