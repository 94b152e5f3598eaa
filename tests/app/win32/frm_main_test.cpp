// The Win32 frmMain against the form, driven through window messages as the
// operator's clicks would: where each control is at any dpi, what it says, the tab
// order and first states; that each control's event reaches its handler, once on a
// scratch mail server; and the message boxes and viewer of this view.
#include "app/win32/frm_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/win32/frm_main_fixture.h"
#include "app/win32/window_test_support.h"
#include "support/mail_server.h"

namespace velmoth::win32 {
namespace {

namespace fs = std::filesystem;

using testing::ClassName;
using testing::FrmMainTest;
using testing::kParked;
using testing::kUmlauts;
using testing::Names;
using testing::Pump;
using testing::SetRowState;
using testing::ShownRows;
using testing::WindowText;
using velmoth::testing::ReadFile;

// The kind of control the child window draws.
std::optional<form::Kind> KindOf(HWND control) {
  const std::wstring name = ClassName(control);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  if (name == WC_STATICW) return form::Kind::kLabel;
  if (name == WC_LISTVIEWW) return form::Kind::kList;
  if (name != WC_BUTTONW) return std::nullopt;
  switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
      return form::Kind::kButton;
    case BS_AUTOCHECKBOX:
      return form::Kind::kCheckBox;
    default:
      return std::nullopt;
  }
}

TEST_F(FrmMainTest, OpensCaptionedCentredAndFixedInSizeWithOnlyACloseBox) {
  Open();
  EXPECT_EQ(WindowText(window), form::kCaption);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(GetMenu(window), nullptr);

  const int dpi = static_cast<int>(GetDpiForWindow(window));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, MulDiv(form::kClientSize.width, dpi, form::kDpi));
  EXPECT_EQ(client.bottom, MulDiv(form::kClientSize.height, dpi, form::kDpi));
  RECT outer{};
  GetWindowRect(window, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_NEAR(outer.left + outer.right, monitor.rcWork.left + monitor.rcWork.right, 1);
  EXPECT_NEAR(outer.top + outer.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, TheWindowBearsTheProgramsIconInTheTitleBarAndTheTaskbar) {
  Open();
  EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0);
  EXPECT_NE(GetClassLongPtrW(window, GCLP_HICONSM), 0);
}

TEST_F(FrmMainTest, ControlsAreOfTheirKindWithTheirCaptionsWhereTheFormPutsThemAtAnyDpi) {
  Open();
  for (const form::Control& control : form::kControls) {
    EXPECT_EQ(KindOf(Item(control.name)), control.kind) << control.name;
    EXPECT_EQ(WindowText(Item(control.name)), control.caption) << control.name;
  }
  ExpectLayoutAt(GetDpiForWindow(window));
  // On a monitor of another density everything scales with it.
  RECT outer{};
  GetWindowRect(window, &outer);
  RECT suggested = outer;
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  ExpectLayoutAt(144);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&outer));
}

TEST_F(FrmMainTest, TabAndZOrderFollowTheFormFromTheFirstFocus) {
  Open();
  EXPECT_EQ(GetFocus(), Item(form::kFirstFocus));
  std::vector<int> focusable;
  std::vector<int> created;
  for (const form::Control& control : form::kControls) {
    const bool tabStop = (GetWindowLongPtrW(Item(control.name), GWL_STYLE) & WS_TABSTOP) != 0;
    EXPECT_EQ(tabStop, form::TakesFocus(control.kind)) << control.name;
    if (form::TakesFocus(control.kind)) focusable.push_back(ControlId(control.name));
    created.push_back(ControlId(control.name));
  }
  std::vector<int> tabbed;
  HWND at = Item(form::kFirstFocus);
  do {
    tabbed.push_back(GetDlgCtrlID(at));
    at = GetNextDlgTabItem(window, at, FALSE);
  } while (at != Item(form::kFirstFocus) && tabbed.size() <= focusable.size());
  EXPECT_EQ(tabbed, focusable);
  std::vector<int> zOrder;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    zOrder.push_back(GetDlgCtrlID(child));
  }
  EXPECT_EQ(zOrder, created);
}

TEST_F(FrmMainTest, TheListIsAReportOfTheFormsColumnsWithTickBoxesAndTheDeleteBoxIsTicked) {
  Open();
  for (const form::Control& control : form::kControls) {
    if (control.kind != form::Kind::kCheckBox) continue;
    EXPECT_EQ(SendMessageW(Item(control.name), BM_GETCHECK, 0, 0),
              control.ticked ? BST_CHECKED : BST_UNCHECKED)
        << control.name;
  }
  const auto listStyle = GetWindowLongPtrW(List(), GWL_STYLE);
  EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(listStyle & LVS_EDITLABELS, 0);
  const auto extended = SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
            LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  for (int index = 0; index < form::kColumnCount; ++index) {
    const form::Column& expected = form::kColumns[index];
    wchar_t title[32] = L"";
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT;
    column.pszText = title;
    column.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(Narrow(title), expected.title);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK,
              expected.align == form::Align::kRight ? LVCFMT_RIGHT : LVCFMT_LEFT)
        << expected.title;
  }
}

TEST_F(FrmMainTest, LoadListsTheParkedMessagesAndAllAndNoneTickThem) {
  for (const std::string& name : {std::string("alpha"), kUmlauts}) server.Park(name, kParked);
  Open();
  EXPECT_EQ(Listed(), (Names{kUmlauts, "alpha"}));
  for (const auto& [button, ticked] : {std::pair{"cmdAll", true}, std::pair{"cmdNone", false}}) {
    Click(button);
    for (const auto& row : ShownRows(List())) EXPECT_EQ(row.ticked, ticked) << row.name;
  }
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, ARowsInfoTipTellsWhoItsMessageIsFromToWhomAndWhatAbout) {
  server.Park(kUmlauts, kParked,
              "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\r\nTo: bob@example.net\r\n"
              "Cc: cy@example.net\r\nSubject: Rates & fees\r\n\r\nbody");
  Open();
  const auto extended = SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_EQ(extended & LVS_EX_INFOTIP, LVS_EX_INFOTIP);
  // The control offers the row's own text, which the tip replaces.
  std::wstring text = Widen(kUmlauts);
  text.resize(INFOTIPSIZE);
  const int id = ControlId("lvwMail");
  NMLVGETINFOTIPW tip{};
  tip.hdr = {List(), static_cast<UINT_PTR>(id), static_cast<UINT>(LVN_GETINFOTIPW)};
  tip.pszText = text.data();
  tip.cchTextMax = INFOTIPSIZE;
  tip.iItem = 0;
  SendMessageW(window, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&tip));
  EXPECT_EQ(Narrow(text.c_str()),
            "From: Jörg <j@example.org>\nTo: bob@example.net\nCc: cy@example.net\n"
            "Subject: Rates & fees\nDate: (none)");
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, CopyRequeuesTheTickedRowsAsTheDeleteBoxSays) {
  for (const std::string& name : {std::string("alpha"), kUmlauts}) server.Park(name, kParked);
  Open();
  // Unticked first, so that the second copy has a parked message to requeue again.
  for (const bool deleteParked : {false, true}) {
    SCOPED_TRACE(deleteParked ? "delete ticked" : "delete unticked");
    const bool ticked = SendMessageW(Item("chkDelete"), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (ticked != deleteParked) Click("chkDelete");
    Tick(kUmlauts);
    Click("cmdCopy");
    const fs::path file = PathFromText(kUmlauts);
    EXPECT_TRUE(fs::exists(server.outbound() / "messages" / file));
    EXPECT_EQ(fs::exists(server.badMail() / "messages" / file), !deleteParked);
    const Names listed = deleteParked ? Names{"alpha"} : Names{kUmlauts, "alpha"};
    EXPECT_EQ(Listed(), listed);
  }
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, DoubleClickStartsNotepadOnTheSelectedMessageFileAsOneArgument) {
  const fs::path log = server.root() / "viewer.log";
  SetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", log.c_str());
  server.Park("two words", kParked);
  Open();
  SetRowState(List(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  DoubleClickList();
  // The stand-in notepad writes its show command and its command line.
  const std::wstring expected = std::to_wstring(SW_SHOWNORMAL) + L" notepad \"" +
                                (server.badMail() / "messages" / "two words").native() + L"\"\n";
  std::string recorded;
  for (int wait = 0; wait < 100 && recorded.size() < expected.size() * sizeof(wchar_t); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    recorded = ReadFile(log);
  }
  const std::wstring line(reinterpret_cast<const wchar_t*>(recorded.data()),
                          recorded.size() / sizeof(wchar_t));
  EXPECT_EQ(Narrow(line), Narrow(expected));
  EXPECT_TRUE(boxes.seen.empty());
  SetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", nullptr);
}

TEST_F(FrmMainTest, QuitAndTheCloseBoxEndTheProgramButEnterAndEscDoNot) {
  server.Park("alpha", kParked);
  Open();
  Tick("alpha");
  for (const form::Control& control : form::kControls) {
    if (!form::TakesFocus(control.kind)) continue;
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
      SetFocus(Item(control.name));
      MSG press{Item(control.name), WM_KEYDOWN, key, 0, 0, {}};
      if (!IsDialogMessageW(window, &press)) DispatchMessageW(&press);
      EXPECT_FALSE(Pump()) << control.name << " " << key;
      ASSERT_TRUE(IsWindow(window)) << control.name << " " << key;
    }
  }
  EXPECT_TRUE(ShownRows(List())[0].ticked);
  EXPECT_FALSE(fs::exists(server.outbound() / "alpha"));
  EXPECT_EQ(SendMessageW(Item("chkDelete"), BM_GETCHECK, 0, 0), BST_CHECKED);

  const std::function<void()> closers[] = {
      [this] { SendMessageW(Item("cmdQuit"), BM_CLICK, 0, 0); },
      [this] { SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); },
  };
  for (const auto& close : closers) {
    Open();
    close();
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(IsWindow(window));
  }
}

TEST_F(FrmMainTest, TheHourglassLastsUntilTheOutermostBusySpanEnds) {
  Open();
  const HCURSOR hourglass = LoadCursorW(nullptr, IDC_WAIT);
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  const struct {
    bool busy;
    bool expected;
  } steps[] = {{true, true}, {true, true}, {false, true}, {false, false}, {false, false}};
  for (const auto& step : steps) {
    frm->SetBusyPointer(step.busy);
    EXPECT_EQ(GetCursor(), step.expected ? hourglass : arrow);
    // The window keeps it when the mouse moves over it.
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), step.expected ? hourglass : arrow);
  }
}

TEST_F(FrmMainTest, MessageBoxesBearTheCaptionAndTheIconOfTheirKind) {
  Open();
  const struct {
    void (FrmMain::*show)(const std::string&);
    const wchar_t* icon;
  } cases[] = {{&FrmMain::ShowError, IDI_ERROR}, {&FrmMain::ShowNotice, IDI_INFORMATION}};
  for (const auto& c : cases) {
    boxes.seen.clear();
    (frm.get()->*c.show)("Line one\n\n" + kUmlauts);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, form::kCaption);
    EXPECT_EQ(boxes.seen[0].text, "Line one\n\n" + kUmlauts);
    EXPECT_EQ(boxes.seen[0].icon, LoadIconW(nullptr, c.icon));
    EXPECT_TRUE(IsWindow(window));
  }
}

}  // namespace
}  // namespace velmoth::win32
