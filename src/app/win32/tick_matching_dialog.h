// The tick matching dialog: a text and the field to find it in, and a range of
// the command files' dates. Modeless, it stays open beside frmMain, whose list
// updates behind it; Tick, the default button, and Untick hand the request on and
// show what came of it until the next.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/main_window.h"

namespace velmoth::win32 {

class TickMatchingDialog {
 public:
  // Ticks the rows that match the request, or unticks them, and says how many.
  using Apply = std::function<std::string(const MatchRequest& request, bool tick)>;

  explicit TickMatchingDialog(Apply apply) : apply_(std::move(apply)) {}
  ~TickMatchingDialog();
  TickMatchingDialog(const TickMatchingDialog&) = delete;
  TickMatchingDialog& operator=(const TickMatchingDialog&) = delete;

  // Opens the dialog of `instance`'s frm_main.rc over `owner`, or when it is open
  // brings it forward, the focus in its text box either way.
  void Open(HINSTANCE instance, HWND owner);
  // Whether `message` went to the open dialog's keyboard handling (Tab, Enter,
  // Esc), which the message loop must then neither translate nor dispatch.
  bool TakeMessage(MSG& message);
  // The dialog while it is open.
  HWND hwnd() const { return dialog_; }

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id);
  MatchRequest Request() const;

  Apply apply_;
  HWND dialog_ = nullptr;
};

}  // namespace velmoth::win32
