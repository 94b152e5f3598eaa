// frmMain as a Win32 window: draws the controls at the monitor's dpi, forwards
// their events, its context menu's and its keys' to the shared handlers, supplies
// the window services they use, and follows the Bad Mail directory it lists.
#pragma once

#include <windows.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/form.h"
#include "app/main_window.h"
#include "app/win32/list_view_mail_list.h"
#include "app/win32/resource_ids.h"
#include "app/win32/tick_matching_dialog.h"
#include "watch/queue_watcher.h"
#include "watch/update_pacer.h"

namespace velmoth::win32 {

// A control's identifier: its tab index counted from 101. IDOK and IDCANCEL stay
// unused, so that Enter and Esc, which the dialog manager turns into those, reach
// no control.
inline constexpr int kFirstControlId = 101;
constexpr int ControlId(std::string_view name) { return kFirstControlId + form::TabIndex(name); }

// The command of kContextMenu's entry at `index`, which its key in frm_main.rc
// gives too.
constexpr int MenuCommandId(std::size_t index) {
  return IDM_CONTEXT_FIRST + static_cast<int>(index);
}
// A key as a menu writes it beside its entry: "Del" for "Delete", the rest as named.
std::wstring ShownKey(std::string_view key);

class FrmMain final : public WindowServices {
 public:
  // `log`, when there is one, takes the trail of every requeue and deletion.
  FrmMain(HINSTANCE instance, FileSystem& files, const QueueLocations& locations,
          SystemLog* log = nullptr);
  ~FrmMain() override;
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;

  // Creates the window hidden, centred on the primary monitor, follows the Bad
  // Mail directory and runs the scan (Form_Load). Returns null when the window
  // cannot be created.
  HWND Create();
  // Shows the window with the focus on form::kFirstFocus.
  void Show(int showCommand);
  HWND hwnd() const { return window_; }
  // The tick matching dialog while it is open.
  HWND tickMatchingDialog() const { return tickMatching_.hwnd(); }

  // Runs the thread's message loop until WM_QUIT, the exit code: it waits for
  // input and for the Bad Mail directory to change alike.
  int RunMessageLoop();
  // One turn of that loop: waits up to `timeoutMs` for input or for the Bad Mail
  // directory to change, and handles what came; the exit code once WM_QUIT came.
  std::optional<int> RunMessagesFor(DWORD timeoutMs);
  // What the message loop does first with each message: the list's keys while
  // it has the focus, F5 anywhere in the window, and the keyboard of the window
  // and the tick matching dialog as in a dialog box. True when the message was
  // taken so, and is neither to be translated nor dispatched.
  bool PreTranslateMessage(MSG& message);

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
  bool OnContextMenu(HWND from, POINT at);
  void OnTimer();
  bool OnSetCursor();
  void OnActivate(bool active);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnDestroy();

  // Runs a handler. No update from the watcher comes in while one runs, and
  // should the list be read from another Bad Mail directory after it, that one
  // is followed in its place.
  void Run(const std::function<void()>& handler);
  // Runs `handler` as one that no update from the watcher may come into.
  void Handling(const std::function<void()>& handler);
  void Run(void (MainWindowHandlers::*handler)()) {
    Run([this, handler] { (handlers_.*handler)(); });
  }
  // F5: the directory followed anew, before it is read again.
  void Refresh();
  // The Bad Mail directory the registry names now; nothing when it names none.
  std::optional<std::filesystem::path> BadMailNow() const;
  // Follows `directory`, or nothing, in place of what was followed.
  void Follow(const std::optional<std::filesystem::path>& directory);
  // Follows the directory the list now comes from, if it is another, and reads
  // it again through the watcher, as a change may have come before the watch.
  void FollowListedDirectory();
  // Waits up to `timeoutMs` for a message or for the watcher's kernel events,
  // taking the events.
  void WaitForInputOrChanges(DWORD timeoutMs);
  // Starts the update timer when the pacer says, anew.
  void ScheduleUpdate();
  // Tells once a window why Bad Mail is not followed.
  void ShowWatchFailure(const FileError& error);

  void CreateControls();
  void ShowMessage(const std::string& message, UINT icon);
  // Places the controls, sets their font and the list's column widths for `dpi`.
  void Layout(UINT dpi);
  // The outer size of the window for the fixed client area at `dpi`.
  SIZE WindowSize(UINT dpi) const;
  UINT Dpi() const;
  HWND Control(std::string_view name) const { return GetDlgItem(window_, ControlId(name)); }

  HINSTANCE instance_;
  const QueueLocations& locations_;
  ListViewMailList list_;
  MainWindowHandlers handlers_;
  TickMatchingDialog tickMatching_;
  HACCEL listKeys_ = nullptr;
  HACCEL windowKeys_ = nullptr;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  // The control that had the focus when the window was last deactivated.
  HWND focus_ = nullptr;
  // Hourglasses up: while a scan or requeue runs, WM_SETCURSOR shows one.
  int busyDepth_ = 0;
  // Handlers running, one inside another's message box or dialog.
  int handling_ = 0;

  // The Bad Mail directory followed, and its watcher; none while the registry
  // names none, or while the kernel cannot follow it.
  std::optional<std::filesystem::path> followed_;
  std::unique_ptr<QueueWatcher> watcher_;
  UpdatePacer pacer_;
  // The whole directory is to be read again at the next update.
  bool rescanDue_ = false;
  bool watchFailureShown_ = false;
};

}  // namespace velmoth::win32
