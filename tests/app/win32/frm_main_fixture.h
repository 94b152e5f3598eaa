// The window tests' fixture: a scratch mail server, a frmMain opened on it as the
// program opens it, the message boxes answered and noted, and the operator's
// clicks and ticks on its controls.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/win32/frm_main.h"
#include "app/win32/window_test_support.h"
#include "files/file_system.h"
#include "support/mail_server.h"

namespace velmoth::win32::testing {

namespace fs = std::filesystem;

using velmoth::testing::MailServer;
using Names = std::vector<std::string>;

inline constexpr char kParked[] = "Status=Failed\r\nRetries=4\r\n";
// A name outside the ANSI code page: it reaches the files only as wide text.
inline const std::string kUmlauts =
    "Gr\xc3\xbc\xc3\x9f"
    "e";

inline std::wstring ClassName(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

inline std::string WindowText(HWND window) {
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  return Narrow(text);
}

// Answers every message box that this thread opens while it lives, noting what
// it showed. The window's own dialogs, which have no OK button, it leaves alone.
class MessageBoxWatcher {
 public:
  struct Box {
    std::string caption;
    std::string text;
    HICON icon = nullptr;
  };

  MessageBoxWatcher()
      : hook_(SetWindowsHookExW(WH_CALLWNDPROCRET, &AfterMessage, nullptr, GetCurrentThreadId())) {
    watching_ = this;
  }
  ~MessageBoxWatcher() {
    UnhookWindowsHookEx(hook_);
    watching_ = nullptr;
  }
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  std::vector<Box> seen;

 private:
  // A message box has its icon and text once its WM_INITDIALOG is handled.
  static LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call.message == WM_INITDIALOG && watching_ != nullptr) {
      watching_->Answer(call.hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  void Answer(HWND box) {
    if (GetDlgItem(box, IDOK) == nullptr) return;
    Box shown{WindowText(box), {}, nullptr};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (lstrcmpiW(ClassName(child).c_str(), WC_STATICW) != 0) continue;
      if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        shown.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
      } else if (shown.text.empty()) {
        shown.text = WindowText(child);
      }
    }
    seen.push_back(shown);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }

  static inline MessageBoxWatcher* watching_ = nullptr;
  HHOOK hook_;
};

// A key as the keyboard sends it, with the name kContextMenu and kRefreshKey give
// it and the text a menu writes beside its entry.
struct KeyCode {
  std::string_view name;
  WORD key;
  BYTE modifiers;  // FALT, FCONTROL, FSHIFT
  const wchar_t* shown;
};
inline constexpr KeyCode kKeyCodes[] = {
    {"Delete", VK_DELETE, 0, L"Del"},
    {"Alt+Enter", VK_RETURN, FALT, L"Alt+Enter"},
    {"Ctrl+F", 'F', FCONTROL, L"Ctrl+F"},
    {"F5", VK_F5, 0, L"F5"},
    {"Shift+F10", VK_F10, FSHIFT, L"Shift+F10"},
    {"Menu", VK_APPS, 0, L"Menu"},
    {"Enter", VK_RETURN, 0, L"Enter"},
    {"Esc", VK_ESCAPE, 0, L"Esc"},
    {"Tab", VK_TAB, 0, L"Tab"},
};

inline const KeyCode& KeyNamed(std::string_view name) {
  const auto found = std::find_if(std::begin(kKeyCodes), std::end(kKeyCodes),
                                  [name](const KeyCode& code) { return code.name == name; });
  if (found == std::end(kKeyCodes)) throw std::invalid_argument("no key " + std::string(name));
  return *found;
}

// Holds the modifier keys down in this thread's keyboard state while it lives.
class HeldModifiers {
 public:
  explicit HeldModifiers(BYTE modifiers) {
    GetKeyboardState(saved_);
    BYTE state[256];
    std::copy(std::begin(saved_), std::end(saved_), state);
    for (const auto& [flag, key] :
         {std::pair<BYTE, int>(FALT, VK_MENU), std::pair<BYTE, int>(FCONTROL, VK_CONTROL),
          std::pair<BYTE, int>(FSHIFT, VK_SHIFT)}) {
      state[key] = (modifiers & flag) ? 0x80 : 0;
    }
    SetKeyboardState(state);
  }
  ~HeldModifiers() { SetKeyboardState(saved_); }
  HeldModifiers(const HeldModifiers&) = delete;
  HeldModifiers& operator=(const HeldModifiers&) = delete;

 private:
  BYTE saved_[256];
};

// Notes the popup menus and the details dialogs, the window's one modal dialog,
// that this thread opens, and hands each to the test once it waits for input.
// One left open for long is closed, and the test fails, rather than hang.
class ModalSpy {
 public:
  ModalSpy()
      : hook_(SetWindowsHookExW(WH_CALLWNDPROCRET, &AfterMessage, nullptr, GetCurrentThreadId())) {
    spying_ = this;
  }
  ~ModalSpy() {
    UnhookWindowsHookEx(hook_);
    if (watchdog_ != 0) KillTimer(nullptr, watchdog_);
    spying_ = nullptr;
  }
  ModalSpy(const ModalSpy&) = delete;
  ModalSpy& operator=(const ModalSpy&) = delete;

  // Called once for each menu or modal dialog, with its window.
  std::function<void(HWND popup)> onMenu;
  std::function<void(HWND dialog)> onDialog;
  // The entries of the last menu opened: their texts and commands.
  std::vector<std::wstring> entries;
  std::vector<UINT> commands;

 private:
  static constexpr UINT kPatienceMs = 20000;

  static LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && spying_ != nullptr) spying_->Note(call);
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static void CALLBACK Unstick(HWND, UINT, UINT_PTR, DWORD) {
    if (spying_ == nullptr) return;
    spying_->StopWatchdog();
    ADD_FAILURE() << "a menu or dialog stayed open";
    EndMenu();
    if (spying_->dialog_ != nullptr) EndDialog(spying_->dialog_, 0);
  }

  void StartWatchdog() { watchdog_ = SetTimer(nullptr, watchdog_, kPatienceMs, &Unstick); }
  void StopWatchdog() {
    if (watchdog_ != 0) KillTimer(nullptr, watchdog_);
    watchdog_ = 0;
  }

  void Note(const CWPRETSTRUCT& call) {
    switch (call.message) {
      // Any menu loop, the window's own menu bar's too, which opens no popup.
      case WM_ENTERMENULOOP:
        StartWatchdog();
        break;
      case WM_INITMENUPOPUP:
        NoteEntries(reinterpret_cast<HMENU>(call.wParam));
        menuWaiting_ = true;
        break;
      case WM_EXITMENULOOP:
        StopWatchdog();
        break;
      case WM_INITDIALOG:
        if (GetDlgItem(call.hwnd, IDC_DETAILS_NAME) == nullptr) break;
        dialog_ = call.hwnd;
        dialogWaiting_ = true;
        StartWatchdog();
        break;
      case WM_DESTROY:
        if (call.hwnd != dialog_) break;
        dialog_ = nullptr;
        StopWatchdog();
        break;
      case WM_ENTERIDLE:
        NoteIdle(call.wParam, reinterpret_cast<HWND>(call.lParam));
        break;
      default:
        break;
    }
  }

  void NoteIdle(WPARAM kind, HWND window) {
    if (kind == MSGF_MENU && std::exchange(menuWaiting_, false) && onMenu) onMenu(window);
    if (kind == MSGF_DIALOGBOX && window == dialog_ && std::exchange(dialogWaiting_, false) &&
        onDialog) {
      onDialog(window);
    }
  }

  void NoteEntries(HMENU menu) {
    entries.clear();
    commands.clear();
    for (int index = 0; index < GetMenuItemCount(menu); ++index) {
      wchar_t text[128] = L"";
      GetMenuStringW(menu, static_cast<UINT>(index), text, 128, MF_BYPOSITION);
      entries.push_back(text);
      commands.push_back(GetMenuItemID(menu, index));
    }
  }

  static inline ModalSpy* spying_ = nullptr;
  HHOOK hook_;
  UINT_PTR watchdog_ = 0;
  bool menuWaiting_ = false;
  bool dialogWaiting_ = false;
  HWND dialog_ = nullptr;
};

class FrmMainTest : public ::testing::Test {
 protected:
  FrmMainTest() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
  }
  ~FrmMainTest() override {
    frm.reset();
    Pump();
  }

  // Opens a fresh frmMain, as the program does, on what is parked now.
  HWND Open() {
    frm.reset();
    Pump();
    frm = std::make_unique<FrmMain>(GetModuleHandleW(nullptr), files, locations);
    window = frm->Create();
    EXPECT_NE(window, nullptr);
    frm->Show(SW_SHOWNORMAL);
    Pump();
    return window;
  }

  HWND Item(std::string_view name) const { return GetDlgItem(window, ControlId(name)); }
  HWND List() const { return Item("lvwMail"); }

  void Click(std::string_view name) {
    SendMessageW(Item(name), BM_CLICK, 0, 0);
    Pump();
  }

  void DoubleClickList() {
    NMITEMACTIVATE activate{};
    const int id = ControlId("lvwMail");
    activate.hdr = {List(), static_cast<UINT_PTR>(id), static_cast<UINT>(NM_DBLCLK)};
    activate.iItem = -1;
    SendMessageW(window, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&activate));
    Pump();
  }

  int IndexOf(const std::string& name) const {
    const auto rows = ShownRows(List());
    for (std::size_t index = 0; index < rows.size(); ++index) {
      if (rows[index].name == name) return static_cast<int>(index);
    }
    ADD_FAILURE() << "no row " << name;
    return -1;
  }

  void Tick(const std::string& name) {
    SetRowState(List(), IndexOf(name), LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
  }

  // Hands `message` to the window as its message loop does.
  void Deliver(MSG message) {
    if (!frm->PreTranslateMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Pump();
  }

  // Presses and releases the key on `target`, as the keyboard sends it there.
  void Press(HWND target, const KeyCode& code) {
    HeldModifiers held(code.modifiers);
    // With Alt held, and F10, a key is the system's.
    const bool system = (code.modifiers & FALT) || code.key == VK_F10;
    const LPARAM alt = (code.modifiers & FALT) ? (1 << 29) : 0;
    const UINT down = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = system ? WM_SYSKEYUP : WM_KEYUP;
    Deliver({target, down, code.key, 1 | alt, 0, {}});
    Deliver({target, up, code.key, static_cast<LPARAM>(0xC0000001u) | alt, 0, {}});
  }
  void Press(HWND target, std::string_view key) { Press(target, KeyNamed(key)); }

  Names Listed() const {
    Names names;
    for (const auto& row : ShownRows(List())) names.push_back(row.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Positions, sizes, texts and fonts of the controls and the list's columns,
  // as the form lays them out at 96 dpi, scaled to `dpi`.
  void ExpectLayoutAt(UINT dpi) const {
    SCOPED_TRACE(std::to_string(dpi) + " dpi");
    const auto scaled = [dpi](int pixels) {
      return MulDiv(pixels, static_cast<int>(dpi), form::kDpi);
    };
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    for (const form::Control& control : form::kControls) {
      SCOPED_TRACE(control.name);
      const HWND item = Item(control.name);
      ASSERT_NE(item, nullptr);
      RECT at{};
      GetWindowRect(item, &at);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
      EXPECT_EQ(at.left, scaled(control.box.left));
      EXPECT_EQ(at.top, scaled(control.box.top));
      EXPECT_EQ(at.right - at.left, scaled(control.box.width));
      EXPECT_EQ(at.bottom - at.top, scaled(control.box.height));
      LOGFONTW font{};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)), sizeof font, &font);
      EXPECT_EQ(std::wstring(font.lfFaceName), metrics.lfMessageFont.lfFaceName);
      EXPECT_NEAR(font.lfHeight, scaled(metrics.lfMessageFont.lfHeight), 1);
    }
    for (int index = 0; index < form::kColumnCount; ++index) {
      LVCOLUMNW column{};
      column.mask = LVCF_WIDTH;
      ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
      EXPECT_EQ(column.cx, scaled(form::kColumns[index].width)) << form::kColumns[index].title;
    }
  }

  MailServer server;
  NativeFileSystem files;
  RegistryQueueLocations locations;
  MessageBoxWatcher boxes;
  std::unique_ptr<FrmMain> frm;
  HWND window = nullptr;
};

}  // namespace velmoth::win32::testing
