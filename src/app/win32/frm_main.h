// frmMain as a Win32 window: draws the controls at the monitor's dpi, forwards
// their events to the shared handlers and supplies the window services they use.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/form.h"
#include "app/main_window.h"
#include "app/win32/list_view_mail_list.h"

namespace velmoth::win32 {

// A control's identifier: its tab index counted from 101. IDOK and IDCANCEL stay
// unused, so that Enter and Esc, which the dialog manager turns into those, reach
// no control.
inline constexpr int kFirstControlId = 101;
constexpr int ControlId(std::string_view name) { return kFirstControlId + form::TabIndex(name); }

class FrmMain final : public WindowServices {
 public:
  // `log`, when there is one, takes the trail of every requeue and deletion.
  FrmMain(HINSTANCE instance, FileSystem& files, const QueueLocations& locations,
          SystemLog* log = nullptr);
  ~FrmMain() override;
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;

  // Creates the window hidden, centred on the primary monitor, and runs the scan
  // (Form_Load). Returns null when the window cannot be created.
  HWND Create();
  // Shows the window with the focus on form::kFirstFocus.
  void Show(int showCommand);
  HWND hwnd() const { return window_; }

  // Runs the thread's message loop until the window is gone; the exit code.
  static int RunMessageLoop(HWND window);

  std::optional<std::size_t> SelectedRow() const override;
  void SetBusyPointer(bool busy) override;
  bool IsDeleteTicked() const override;
  void ShowError(const std::string& message) override;
  void ShowNotice(const std::string& message) override;
  void StartViewer(const std::filesystem::path& file) override;
  void Close() override;
  bool Confirm(const std::string& question) override;
  void ShowDetails(const MessageDetails& details) override;
  void ShowTickMatching() override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  bool OnCreate();
  void OnCommand(int id, int code);
  LRESULT OnNotify(NMHDR& header);
  bool OnSetCursor();
  void OnActivate(bool active);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnDestroy();

  void CreateControls();
  void ShowMessage(const std::string& message, UINT icon);
  // Places the controls, sets their font and the list's column widths for `dpi`.
  void Layout(UINT dpi);
  // The outer size of the window for the fixed client area at `dpi`.
  SIZE WindowSize(UINT dpi) const;
  UINT Dpi() const;
  HWND Control(std::string_view name) const { return GetDlgItem(window_, ControlId(name)); }

  HINSTANCE instance_;
  ListViewMailList list_;
  MainWindowHandlers handlers_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  // The control that had the focus when the window was last deactivated.
  HWND focus_ = nullptr;
  // Hourglasses up: while a scan or requeue runs, WM_SETCURSOR shows one.
  int busyDepth_ = 0;
};

}  // namespace velmoth::win32
