// The Win32 frmMain: one window procedure with a small handler per message. The
// layout is kept in pixels at 96 dpi and scaled to the dpi of the window's monitor.
// The message loop waits on the Bad Mail watcher beside the input; a single-shot
// timer, paced by UpdatePacer, brings the list up to date with what it saw.
#include "app/win32/frm_main.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <span>
#include <utility>

#include "app/win32/details_dialog.h"
#include "base/wide_text.h"

namespace velmoth::win32 {
namespace {

constexpr wchar_t kClassName[] = L"Velmoth.frmMain";
// The single-shot timer of the list's updates from the watcher.
constexpr UINT_PTR kUpdateTimer = 1;
// How soon an update put off while a handler runs is tried again.
constexpr UINT kUpdatePutOffMs = 100;
// A fixed single border with the close box: no sizing, no minimise or maximise.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

// Clipped by the siblings above them: where controls of the form overlap by a
// pixel, the one earlier in the tab order is drawn on top.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;

// The window class and styles that draw a kind of control.
struct ChildClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

ChildClass ClassOf(form::Kind kind) {
  switch (kind) {
    case form::Kind::kLabel:
      return {WC_STATICW, kChild | SS_LEFT | SS_NOPREFIX, 0};
    case form::Kind::kButton:
      return {WC_BUTTONW, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case form::Kind::kCheckBox:
      return {WC_BUTTONW, kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case form::Kind::kList:
      break;
  }
  return {WC_LISTVIEWW, kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
          WS_EX_CLIENTEDGE};
}

int Scale(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), form::kDpi); }

// A user32 function of a later Windows than the oldest this program runs on.
template <typename Function>
Function User32Function(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

UINT ScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : form::kDpi;
}

// The system's message font at `dpi`.
HFONT MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  if (const auto forDpi = User32Function<ForDpi>("SystemParametersInfoForDpi");
      forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return nullptr;
  }
  LOGFONTW& font = metrics.lfMessageFont;
  font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
  return CreateFontIndirectW(&font);
}

// The program's icon (packaging/windows/icon.rc) at the size of the system
// metrics `widthMetric` and `heightMetric`; null in a program that carries none.
HICON LoadIconImage(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

// The Menu key, which the system leaves to the list, which does nothing with it,
// and Shift+F10, whose release the system would take, once the menu it opened is
// closed, for F10's: the window's own menu would open after the list's.
bool IsMenuKey(const MSG& message) {
  return (message.message == WM_KEYUP && message.wParam == VK_APPS) ||
         (message.message == WM_SYSKEYDOWN && message.wParam == VK_F10 &&
          GetKeyState(VK_SHIFT) < 0);
}

bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconImage(instance, SM_CXICON, SM_CYICON);
  windowClass.hIconSm = LoadIconImage(instance, SM_CXSMICON, SM_CYSMICON);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::wstring ShownKey(std::string_view key) { return key == "Delete" ? L"Del" : Widen(key); }

FrmMain::FrmMain(HINSTANCE instance, FileSystem& files, const QueueLocations& locations,
                 SystemLog* log)
    : instance_(instance),
      locations_(locations),
      handlers_(list_.list(), *this, files, locations, log),
      tickMatching_([this](const MatchRequest& request, bool tick) {
        std::string status;
        Run([&] { status = handlers_.TickMatching(request, tick); });
        return status;
      }),
      listKeys_(LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_LIST_KEYS))),
      windowKeys_(LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_WINDOW_KEYS))) {}

FrmMain::~FrmMain() {
  if (window_ != nullptr) DestroyWindow(window_);
}

HWND FrmMain::Create() {
  if (!RegisterWindowClass(instance_, &FrmMain::WindowProcedure)) return nullptr;
  // The size and place follow in WM_CREATE, once the window's dpi is known.
  if (CreateWindowExW(kWindowExStyle, kClassName, Widen(form::kCaption).c_str(), kWindowStyle, 0, 0,
                      0, 0, nullptr, nullptr, instance_, this) == nullptr) {
    return nullptr;
  }
  // Followed before the first scan, so that no change falls between the two.
  Follow(BadMailNow());
  // The operator first sees the window with the list filled.
  Run(&MainWindowHandlers::Form_Load);
  return window_;
}

void FrmMain::Show(int showCommand) {
  focus_ = Control(form::kFirstFocus);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  SetFocus(focus_);
}

int FrmMain::RunMessageLoop() {
  for (;;) {
    if (const std::optional<int> exitCode = RunMessagesFor(INFINITE)) return *exitCode;
  }
}

std::optional<int> FrmMain::RunMessagesFor(DWORD timeoutMs) {
  WaitForInputOrChanges(timeoutMs);
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
    if (PreTranslateMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return std::nullopt;
}

void FrmMain::WaitForInputOrChanges(DWORD timeoutMs) {
  // The watcher, and so its handles, may be made anew by any message handled.
  const std::span<void* const> handles =
      watcher_ ? watcher_->waitHandles() : std::span<void* const>{};
  const auto count = static_cast<DWORD>(handles.size());
  const DWORD woke = MsgWaitForMultipleObjectsEx(count, handles.data(), timeoutMs, QS_ALLINPUT,
                                                 MWMO_INPUTAVAILABLE);
  if (woke == WAIT_FAILED) {
    // Input at least still wakes the loop.
    WaitMessage();
  } else if (woke < WAIT_OBJECT_0 + count && watcher_->Collect()) {
    pacer_.ChangesArrived();
    ScheduleUpdate();
  }
}

bool FrmMain::PreTranslateMessage(MSG& message) {
  if (tickMatching_.TakeMessage(message)) return true;
  if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
    return false;
  }
  const HWND list = Control("lvwMail");
  if (message.hwnd == list || IsChild(list, message.hwnd)) {
    if (TranslateAcceleratorW(window_, listKeys_, &message)) return true;
    if (IsMenuKey(message)) {
      SendMessageW(window_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
      return true;
    }
  }
  if (TranslateAcceleratorW(window_, windowKeys_, &message)) return true;
  // Tab and the arrow keys move between the controls as in a dialog box.
  return IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT CALLBACK FrmMain::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<FrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FrmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT FrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
      if (OnContextMenu(reinterpret_cast<HWND>(wParam),
                        {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
        return 0;
      }
      break;
    case WM_TIMER:
      if (wParam != kUpdateTimer) break;
      OnTimer();
      return 0;
    case WM_SETCURSOR:
      if (OnSetCursor()) return TRUE;
      break;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      break;
    case WM_SETFOCUS:
      SetFocus(IsWindow(focus_) ? focus_ : Control(form::kFirstFocus));
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

bool FrmMain::OnCreate() {
  CreateControls();
  for (const form::Control& control : form::kControls) {
    if (Control(control.name) == nullptr) return false;
  }
  const UINT dpi = Dpi();
  Layout(dpi);
  const SIZE size = WindowSize(dpi);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - size.cx) / 2,
               work.top + (work.bottom - work.top - size.cy) / 2, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void FrmMain::CreateControls() {
  // Made in the form's tab order, which so becomes their z-order too.
  for (const form::Control& control : form::kControls) {
    const ChildClass childClass = ClassOf(control.kind);
    const HWND child = CreateWindowExW(
        childClass.exStyle, childClass.name, Widen(control.caption).c_str(), childClass.style, 0, 0,
        0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control.name))),
        instance_, nullptr);
    if (control.ticked) SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
  }
  list_.Attach(Control("lvwMail"));
}

void FrmMain::Layout(UINT dpi) {
  const HFONT font = MessageFont(dpi);
  for (const form::Control& control : form::kControls) {
    const form::Box& box = control.box;
    const HWND child = Control(control.name);
    SetWindowPos(child, nullptr, Scale(box.left, dpi), Scale(box.top, dpi), Scale(box.width, dpi),
                 Scale(box.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    if (font != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  for (int index = 0; index < form::kColumnCount; ++index) {
    SendMessageW(Control("lvwMail"), LVM_SETCOLUMNWIDTH, index,
                 Scale(form::kColumns[index].width, dpi));
  }
  if (font == nullptr) return;
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

SIZE FrmMain::WindowSize(UINT dpi) const {
  RECT frame{0, 0, Scale(form::kClientSize.width, dpi), Scale(form::kClientSize.height, dpi)};
  using ForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  if (const auto forDpi = User32Function<ForDpi>("AdjustWindowRectExForDpi")) {
    forDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
  } else {
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

UINT FrmMain::Dpi() const {
  using ForWindow = UINT(WINAPI*)(HWND);
  if (const auto forWindow = User32Function<ForWindow>("GetDpiForWindow")) {
    if (const UINT dpi = forWindow(window_); dpi != 0) return dpi;
  }
  return ScreenDpi();
}

void FrmMain::OnCommand(int id, int code) {
  // From a menu (0), a key (1) or a button's click (BN_CLICKED, 0 too).
  if (code != 0 && code != 1) return;
  if (id == IDM_REFRESH) return Refresh();
  for (std::size_t index = 0; index < std::size(kContextMenu); ++index) {
    if (MenuCommandId(index) == id) return Run(kContextMenu[index].run);
  }
  // IDOK and IDCANCEL, from Enter and Esc, match no button: the window has no
  // default or cancel button.
  for (const ClickHandler& handler : kClickHandlers) {
    if (ControlId(handler.button) == id) Run(handler.click);
  }
}

bool FrmMain::OnContextMenu(HWND from, POINT at) {
  const HWND list = Control("lvwMail");
  if (from != list) return false;
  // From the keyboard: at the selected row, else at the list's corner.
  if (at.x == -1 && at.y == -1) {
    RECT place{};
    GetClientRect(list, &place);
    if (const std::optional<std::size_t> row = SelectedRow()) {
      SendMessageW(list, LVM_ENSUREVISIBLE, *row, FALSE);
      RECT item{LVIR_LABEL, 0, 0, 0};
      if (SendMessageW(list, LVM_GETITEMRECT, *row, reinterpret_cast<LPARAM>(&item))) {
        place = item;
      }
    }
    at = {place.left, place.bottom};
    ClientToScreen(list, &at);
  }
  const HMENU menu = CreatePopupMenu();
  for (std::size_t index = 0; index < std::size(kContextMenu); ++index) {
    const MenuCommand& command = kContextMenu[index];
    std::wstring caption = Widen(command.caption);
    if (!command.key.empty()) caption += L"\t" + ShownKey(command.key);
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(MenuCommandId(index)), caption.c_str());
  }
  TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, window_,
                   nullptr);
  DestroyMenu(menu);
  return true;
}

LRESULT FrmMain::OnNotify(NMHDR& header) {
  if (header.idFrom != static_cast<UINT_PTR>(ControlId("lvwMail"))) return 0;
  switch (header.code) {
    case LVN_GETINFOTIPW: {
      auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(header);
      if (tip.iItem >= 0 && static_cast<std::size_t>(tip.iItem) < list_.list().size()) {
        list_.GetInfoTip(tip, handlers_.RowTip(static_cast<std::size_t>(tip.iItem)));
      }
      return 0;
    }
    case NM_DBLCLK:
      Run(&MainWindowHandlers::lvwMail_DblClick);
      return 0;
    default:
      return list_.Notify(header);
  }
}

bool FrmMain::OnSetCursor() {
  if (busyDepth_ == 0) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

void FrmMain::OnActivate(bool active) {
  // The focus comes back to the control that had it (see WM_SETFOCUS).
  if (active) return;
  const HWND focus = GetFocus();
  if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
}

void FrmMain::OnDpiChanged(UINT dpi, const RECT& suggested) {
  Layout(dpi);
  const SIZE size = WindowSize(dpi);
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void FrmMain::OnDestroy() {
  KillTimer(window_, kUpdateTimer);
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
  PostQuitMessage(0);
}

void FrmMain::OnTimer() {
  KillTimer(window_, kUpdateTimer);
  // Not inside a handler, which may be in the middle of the rows or waiting in a
  // message box for the operator: once it is done.
  if (handling_ > 0) {
    SetTimer(window_, kUpdateTimer, kUpdatePutOffMs, nullptr);
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  QueueChanges changes = watcher_ ? watcher_->Take() : QueueChanges{};
  changes.rescan = changes.rescan || std::exchange(rescanDue_, false);
  if (changes.rescan || !changes.names.empty()) {
    Handling([&] { handlers_.ParkedChanged(changes.names, changes.rescan); });
  }
  pacer_.UpdateRan(std::chrono::duration_cast<UpdatePacer::Milliseconds>(
      std::chrono::steady_clock::now() - start));
  if (watcher_) {
    if (const std::optional<FileError> failure = watcher_->failure()) ShowWatchFailure(*failure);
  }
  // After UpdateRan, which takes every change there was: not the rescan of a
  // directory followed only now.
  FollowListedDirectory();
  ScheduleUpdate();
}

void FrmMain::ScheduleUpdate() {
  const std::optional<UpdatePacer::Milliseconds> delay = pacer_.Delay();
  if (!delay) return;
  const auto ms = std::max<std::int64_t>(delay->count(), USER_TIMER_MINIMUM);
  SetTimer(window_, kUpdateTimer, static_cast<UINT>(ms), nullptr);
}

void FrmMain::Run(const std::function<void()>& handler) {
  Handling(handler);
  FollowListedDirectory();
}

void FrmMain::Handling(const std::function<void()>& handler) {
  ++handling_;
  handler();
  --handling_;
}

void FrmMain::Refresh() {
  // Tried again on each F5: a directory the registry names only now, or one the
  // kernel could not follow before.
  Follow(BadMailNow());
  Run(kRefreshKey.run);
}

std::optional<std::filesystem::path> FrmMain::BadMailNow() const {
  try {
    return locations_.Directory(Queue::kBadMail);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

void FrmMain::Follow(const std::optional<std::filesystem::path>& directory) {
  watcher_.reset();
  followed_ = directory;
  if (!directory) return;
  try {
    watcher_ = std::make_unique<QueueWatcher>(*directory);
  } catch (const FileError& error) {
    return ShowWatchFailure(error);
  }
  if (const std::optional<FileError> failure = watcher_->failure()) ShowWatchFailure(*failure);
}

void FrmMain::FollowListedDirectory() {
  if (handling_ > 0 || window_ == nullptr || handlers_.ListedFrom() == followed_) return;
  Follow(handlers_.ListedFrom());
  if (!followed_) return;
  rescanDue_ = true;
  pacer_.ChangesArrived();
  ScheduleUpdate();
}

void FrmMain::ShowWatchFailure(const FileError& error) {
  if (std::exchange(watchFailureShown_, true)) return;
  Handling([&] {
    ShowError(
        "The Bad Mail directory cannot be followed: the list shows what changes there "
        "only after F5.\n\n" +
        ErrorMessage(error));
  });
}

std::optional<std::size_t> FrmMain::SelectedRow() const { return list_.SelectedRow(); }

void FrmMain::SetBusyPointer(bool busy) {
  if (busy) {
    if (busyDepth_++ == 0) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  }
}

bool FrmMain::IsDeleteTicked() const {
  return SendMessageW(Control("chkDelete"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FrmMain::ShowMessage(const std::string& message, UINT icon) {
  MessageBoxW(window_, Widen(message).c_str(), Widen(form::kCaption).c_str(), MB_OK | icon);
}

void FrmMain::ShowError(const std::string& message) { ShowMessage(message, MB_ICONERROR); }

void FrmMain::ShowNotice(const std::string& message) { ShowMessage(message, MB_ICONINFORMATION); }

bool FrmMain::Confirm(const std::string& question) {
  return MessageBoxW(window_, Widen(question).c_str(), Widen(form::kCaption).c_str(),
                     MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) == IDOK;
}

void FrmMain::ShowDetails(const MessageDetails& details) {
  ShowDetailsDialog(instance_, window_, details);
}

void FrmMain::ShowTickMatching() { tickMatching_.Open(instance_, window_); }

void FrmMain::StartViewer(const std::filesystem::path& file) {
  // One argument however many blanks the path holds; the viewer gets the focus.
  std::wstring commandLine = L"notepad \"" + file.native() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ThrowLastError(file);
  }
  // Not waited for and not watched.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

void FrmMain::Close() {
  // After the click that asked for it has been handled to its end.
  PostMessageW(window_, WM_CLOSE, 0, 0);
}

}  // namespace velmoth::win32
