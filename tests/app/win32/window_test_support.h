// What the Win32 window tests share: running the thread's pending messages and
// reading a list view's rows back through the control itself.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>
#include <vector>

#include "base/wide_text.h"

namespace velmoth::win32::testing {

// Handles every message waiting for this thread; true when one was WM_QUIT.
inline bool Pump() {
  bool quit = false;
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return quit;
}

// A row as the operator sees it.
struct ShownRow {
  std::string name;
  std::string size;
  std::string date;
  bool ticked = false;
  friend bool operator==(const ShownRow&, const ShownRow&) = default;
};

inline std::string CellText(HWND list, int index, int column) {
  wchar_t text[512] = L"";
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 512;
  SendMessageW(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  return Narrow(text);
}

inline bool CellTicked(HWND list, int index) {
  return SendMessageW(list, LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK) ==
         INDEXTOSTATEIMAGEMASK(2);
}

inline std::vector<ShownRow> ShownRows(HWND list) {
  std::vector<ShownRow> rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int index = 0; index < count; ++index) {
    rows.push_back({CellText(list, index, 0), CellText(list, index, 1), CellText(list, index, 2),
                    CellTicked(list, index)});
  }
  return rows;
}

// Ticks or selects a row the way the control does for the operator.
inline void SetRowState(HWND list, int index, UINT mask, UINT state) {
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  SendMessageW(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

}  // namespace velmoth::win32::testing
