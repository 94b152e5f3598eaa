// frmMain's context menu and keys: the menu opens from the mouse and the keyboard
// with kContextMenu's entries, each entry chosen and each key pressed reaches its
// handler, and frm_main.rc's accelerators are the keys kContextMenu and
// kRefreshKey name, no more.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/frm_main.h"
#include "app/win32/frm_main_fixture.h"
#include "app/win32/window_test_support.h"
#include "base/path_text.h"

namespace velmoth::win32 {
namespace {

namespace fs = std::filesystem;

using testing::FrmMainTest;
using testing::KeyCode;
using testing::KeyNamed;
using testing::kParked;
using testing::ModalSpy;
using testing::Names;
using testing::Pump;
using testing::SetRowState;
using testing::WindowText;
using velmoth::testing::MailServer;
using velmoth::testing::ReadFile;
using velmoth::testing::WriteFile;
using Handler = void (MainWindowHandlers::*)();

// An accelerator as the tests compare them: its key, modifiers and command.
struct Accelerator {
  WORD key;
  BYTE modifiers;
  WORD command;
  friend bool operator==(const Accelerator&, const Accelerator&) = default;
  friend bool operator<(const Accelerator& a, const Accelerator& b) {
    return std::tie(a.key, a.modifiers, a.command) < std::tie(b.key, b.modifiers, b.command);
  }
};

std::vector<Accelerator> AcceleratorsOf(int table) {
  const HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(table));
  std::vector<ACCEL> entries(static_cast<std::size_t>(CopyAcceleratorTableW(keys, nullptr, 0)));
  CopyAcceleratorTableW(keys, entries.data(), static_cast<int>(entries.size()));
  std::vector<Accelerator> accelerators;
  for (const ACCEL& entry : entries) {
    EXPECT_TRUE(entry.fVirt & FVIRTKEY) << entry.key;
    accelerators.push_back(
        {entry.key, static_cast<BYTE>(entry.fVirt & (FALT | FCONTROL | FSHIFT)), entry.cmd});
  }
  std::sort(accelerators.begin(), accelerators.end());
  return accelerators;
}

class FrmMainKeysTest : public FrmMainTest {
 protected:
  void Select(int row) {
    SetFocus(List());
    SetRowState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }

  RECT RowOnScreen(int row) const {
    RECT place{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&place));
    MapWindowPoints(List(), nullptr, reinterpret_cast<POINT*>(&place), 2);
    return place;
  }

  // Chooses the entry at `index` of the menu that opens next, with the keyboard.
  void ChooseFromMenu(std::size_t index) {
    spy.onMenu = [this, index](HWND) {
      for (std::size_t down = 0; down <= index; ++down) {
        PostMessageW(window, WM_KEYDOWN, VK_DOWN, 1);
      }
      PostMessageW(window, WM_KEYDOWN, VK_RETURN, 1);
    };
  }

  ModalSpy spy;
};

// The window on "alpha" and "beta", "alpha" selected, and a second Bad Mail
// directory holding "moved" alone for F5 to find; with what each handler, once
// run on it, leaves for the test to see.
class HandlerEffects : public FrmMainKeysTest {
 protected:
  void Prepare() {
    server.Configure(MailServer::BadMailValue(), MailServer::OutboundValue());
    fs::remove(viewerLog());
    SetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", viewerLog().c_str());
    for (const char* name : {"alpha", "beta"}) server.Park(name, kParked);
    Open();
    Select(IndexOf("alpha"));
    boxes.seen.clear();
    detailsOf.reset();
    // Noted as the details dialog opens, which closes again at once.
    spy.onDialog = [this](HWND dialog) {
      detailsOf = WindowText(GetDlgItem(dialog, IDC_DETAILS_NAME));
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
  }
  void TearDown() override { SetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", nullptr); }

  // Points the registry at a Bad Mail directory of its own.
  void MoveBadMail() {
    const fs::path moved = server.root() / "Moved";
    fs::create_directories(moved / "messages");
    WriteFile(moved / "moved", kParked);
    WriteFile(moved / "messages" / "moved", "body");
    server.Configure(PathText(moved), MailServer::OutboundValue());
  }

  void ExpectRan(Handler handler) {
    const struct {
      Handler handler;
      void (HandlerEffects::*expect)();
    } effects[] = {
        {&MainWindowHandlers::lvwMail_DblClick, &HandlerEffects::ExpectViewed},
        {&MainWindowHandlers::DeleteFromBadMail, &HandlerEffects::ExpectDeleted},
        {&MainWindowHandlers::ShowDetails, &HandlerEffects::ExpectDetailsShown},
        {&MainWindowHandlers::OpenTickMatching, &HandlerEffects::ExpectTickMatchingOpen},
        {&MainWindowHandlers::RefreshNow, &HandlerEffects::ExpectReadAgain},
    };
    for (const auto& effect : effects) {
      if (effect.handler == handler) return (this->*effect.expect)();
    }
    ADD_FAILURE() << "no effect noted for the handler";
  }

  // Nothing happened to the window or the files.
  void ExpectNothingRan() {
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(detailsOf, std::nullopt);
    EXPECT_EQ(frm->tickMatchingDialog(), nullptr);
    EXPECT_EQ(Listed(), (Names{"alpha", "beta"}));
    EXPECT_FALSE(fs::exists(viewerLog()));
  }

  fs::path viewerLog() const { return server.root() / "viewer.log"; }
  std::optional<std::string> detailsOf;

 private:
  std::string Viewed() const {
    const std::string recorded = ReadFile(viewerLog());
    return Narrow(
        {reinterpret_cast<const wchar_t*>(recorded.data()), recorded.size() / sizeof(wchar_t)});
  }

  void ExpectViewed() {
    // The stand-in notepad writes how it was started, soon.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Viewed().find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(Viewed().find("messages\\alpha\""), std::string::npos) << Viewed();
  }

  void ExpectDeleted() {
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_NE(boxes.seen[0].text.find("alpha"), std::string::npos) << boxes.seen[0].text;
    EXPECT_FALSE(fs::exists(server.badMail() / "alpha"));
    EXPECT_TRUE(fs::exists(server.badMail() / "beta"));
    EXPECT_EQ(Listed(), Names{"beta"});
  }

  void ExpectDetailsShown() { EXPECT_EQ(detailsOf, "alpha"); }

  void ExpectTickMatchingOpen() {
    const HWND dialog = frm->tickMatchingDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_MATCH_TEXT));
  }

  void ExpectReadAgain() { EXPECT_EQ(Listed(), Names{"moved"}); }
};

TEST_F(FrmMainKeysTest, TheResourcesKeysAreThoseOfTheMenuAndF5AndNoOthers) {
  std::vector<Accelerator> listKeys;
  for (std::size_t index = 0; index < std::size(kContextMenu); ++index) {
    if (kContextMenu[index].key.empty()) continue;
    const KeyCode& code = KeyNamed(kContextMenu[index].key);
    listKeys.push_back({code.key, code.modifiers, static_cast<WORD>(MenuCommandId(index))});
  }
  std::sort(listKeys.begin(), listKeys.end());
  EXPECT_EQ(AcceleratorsOf(IDA_LIST_KEYS), listKeys);
  const KeyCode& refresh = KeyNamed(kRefreshKey.key);
  EXPECT_EQ(AcceleratorsOf(IDA_WINDOW_KEYS),
            (std::vector<Accelerator>{{refresh.key, refresh.modifiers, IDM_REFRESH}}));
}

TEST_F(FrmMainKeysTest, TheMenuOpensOnTheListFromTheMouseAndTheKeyboardWithItsEntriesAndKeys) {
  for (const char* name : {"alpha", "beta", "gamma"}) server.Park(name, kParked);
  Open();
  std::vector<std::wstring> expected;
  for (const MenuCommand& command : kContextMenu) {
    expected.push_back(
        Widen(command.caption) +
        (command.key.empty() ? L"" : L"\t" + std::wstring(KeyNamed(command.key).shown)));
  }
  const struct {
    const char* how;
    std::function<void(const RECT& row)> open;
    bool atRow;  // the menu opens at the selected row
  } openers[] = {
      {"right click",
       [this](const RECT& row) {
         POINT at{row.left + 4, (row.top + row.bottom) / 2};
         ScreenToClient(List(), &at);
         PostMessageW(List(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
         PostMessageW(List(), WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
         Pump();
       },
       false},
      {"Menu key", [this](const RECT&) { Press(List(), "Menu"); }, true},
      {"Shift+F10", [this](const RECT&) { Press(List(), "Shift+F10"); }, true},
  };
  for (const auto& opener : openers) {
    SCOPED_TRACE(opener.how);
    const int row = IndexOf("beta");
    Select(row);
    const RECT rowPlace = RowOnScreen(row);
    std::optional<RECT> menuPlace;
    spy.entries.clear();
    spy.onMenu = [&](HWND popup) {
      RECT place{};
      GetWindowRect(popup, &place);
      menuPlace = place;
      PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 1);
    };
    opener.open(rowPlace);
    EXPECT_EQ(spy.entries, expected);
    ASSERT_TRUE(menuPlace);
    if (opener.atRow) {
      EXPECT_GE(menuPlace->top, rowPlace.top);
      EXPECT_LE(menuPlace->top, rowPlace.bottom + 1);
      EXPECT_GE(menuPlace->left, rowPlace.left - 1);
    }
  }
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ(Listed(), (Names{"alpha", "beta", "gamma"}));
}

TEST_F(HandlerEffects, EachEntryOfTheMenuRunsItsHandler) {
  for (std::size_t index = 0; index < std::size(kContextMenu); ++index) {
    SCOPED_TRACE(kContextMenu[index].caption);
    Prepare();
    ChooseFromMenu(index);
    Press(List(), "Menu");
    EXPECT_EQ(spy.commands.size(), std::size(kContextMenu));
    ExpectRan(kContextMenu[index].run);
  }
}

TEST_F(HandlerEffects, EachKeyRunsItsHandlerTheListsOnlyWithTheListFocused) {
  struct KeyRun {
    std::string_view key;
    Handler handler;
  };
  std::vector<KeyRun> runs;
  for (const MenuCommand& command : kContextMenu) {
    if (!command.key.empty()) runs.push_back({command.key, command.run});
  }
  runs.push_back({kRefreshKey.key, kRefreshKey.run});
  for (const KeyRun& run : runs) {
    SCOPED_TRACE(run.key);
    Prepare();
    const bool listsOwn = run.handler != kRefreshKey.run;
    if (listsOwn) {
      for (const char* button : {"cmdNone", "cmdCopy"}) {
        SetFocus(Item(button));
        Press(Item(button), run.key);
        ExpectNothingRan();
      }
    } else {
      MoveBadMail();
    }
    // F5 from a button, the list's keys from the list.
    const HWND target = listsOwn ? List() : Item("cmdNone");
    SetFocus(target);
    Press(target, run.key);
    ExpectRan(run.handler);
  }
}

}  // namespace
}  // namespace velmoth::win32
