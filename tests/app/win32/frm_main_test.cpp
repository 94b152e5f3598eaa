// frmMain on a scratch mail server, driven through window messages as the
// operator's clicks would: the layout, the commands and what they leave on disk,
// the viewer's command line, and the ways the window closes or does not.
#include "app/win32/frm_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/win32/window_test_support.h"
#include "support/mail_server.h"

namespace velmoth::win32 {
namespace {

using testing::Pump;
using testing::SetRowState;
using testing::ShownRows;
using velmoth::testing::MailServer;
using velmoth::testing::ReadFile;
using velmoth::testing::WriteFile;

// A name outside the ANSI code page: it reaches the files only as wide text.
const std::string kUmlauts =
    "Gr\xc3\xbc\xc3\x9f"
    "e";

// The form's controls in pixels at 96 dpi, from top to bottom.
const struct {
  ControlId id;
  const char* text;
  RECT box;  // left, top, width, height
} kForm[] = {
    {kLabel1, "Bad Mail Directory", {8, 8, 113, 17}},
    {kLabel2, "Double-click item to view", {168, 8, 249, 17}},
    {kCmdNone, "None", {448, 8, 65, 17}},
    {kCmdAll, "All", {520, 8, 65, 17}},
    {kLvwMail, "", {8, 24, 577, 289}},
    {kCmdCopy, "Copy to SMTP Outbound", {8, 320, 145, 25}},
    {kChkDelete, "Delete from Bad Mail after copy", {208, 320, 201, 25}},
    {kCmdQuit, "Quit", {488, 320, 97, 25}},
};

const struct {
  const char* title;
  int format;
  int width;
} kColumns[] = {{"Filename", LVCFMT_LEFT, 333},
                {"File size", LVCFMT_RIGHT, 93},
                {"File date", LVCFMT_LEFT, 141}};

int Scaled(int pixels, HWND window) { return MulDiv(pixels, GetDpiForWindow(window), 96); }

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
    frm = std::make_unique<FrmMain>(
        GetModuleHandleW(nullptr), files,
        [this](HWND, const std::string& text) { errors.push_back(text); });
    window = frm->Create();
    EXPECT_NE(window, nullptr);
    frm->Show(SW_SHOWNORMAL);
    Pump();
    return window;
  }

  // Parks a message under a UTF-8 name, as the scan will show it.
  void Park(const std::string& name, const std::string& command, const char* message = "body") {
    WriteFile(server.badMail() / PathFromText(name), command);
    if (message != nullptr) WriteFile(server.badMail() / "messages" / PathFromText(name), message);
  }

  HWND Item(ControlId id) const { return GetDlgItem(window, id); }
  HWND List() const { return Item(kLvwMail); }

  void Click(ControlId id) {
    SendMessageW(Item(id), BM_CLICK, 0, 0);
    Pump();
  }

  void DoubleClickList() {
    NMITEMACTIVATE activate{};
    activate.hdr = {List(), static_cast<UINT_PTR>(kLvwMail), static_cast<UINT>(NM_DBLCLK)};
    activate.iItem = -1;
    SendMessageW(window, WM_NOTIFY, kLvwMail, reinterpret_cast<LPARAM>(&activate));
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

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& row : ShownRows(List())) names.push_back(row.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Positions, sizes, texts and fonts of the controls and the list's columns,
  // as the form lays them out at 96 dpi, scaled to `dpi`.
  void ExpectLayoutAt(UINT dpi) const {
    SCOPED_TRACE(std::to_string(dpi) + " dpi");
    const auto scaled = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), 96); };
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    for (const auto& c : kForm) {
      const HWND item = Item(c.id);
      ASSERT_NE(item, nullptr) << c.text;
      RECT at{};
      GetWindowRect(item, &at);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
      EXPECT_EQ(at.left, scaled(c.box.left)) << c.text;
      EXPECT_EQ(at.top, scaled(c.box.top)) << c.text;
      EXPECT_EQ(at.right - at.left, scaled(c.box.right)) << c.text;
      EXPECT_EQ(at.bottom - at.top, scaled(c.box.bottom)) << c.text;
      wchar_t text[64];
      GetWindowTextW(item, text, 64);
      EXPECT_EQ(Narrow(text), c.text);
      LOGFONTW font{};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)), sizeof font, &font);
      EXPECT_EQ(std::wstring(font.lfFaceName), metrics.lfMessageFont.lfFaceName) << c.text;
      EXPECT_NEAR(font.lfHeight, scaled(metrics.lfMessageFont.lfHeight), 1) << c.text;
    }
    for (int index = 0; index < 3; ++index) {
      wchar_t title[32] = L"";
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
      column.pszText = title;
      column.cchTextMax = 32;
      ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
      EXPECT_EQ(Narrow(title), kColumns[index].title);
      EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, kColumns[index].format) << index;
      EXPECT_EQ(column.cx, scaled(kColumns[index].width)) << index;
    }
  }

  MailServer server;
  NativeFileSystem files;
  std::vector<std::string> errors;
  std::unique_ptr<FrmMain> frm;
  HWND window = nullptr;
};

TEST_F(FrmMainTest, OpensWithTheLayoutTextsAndStatesOfTheForm) {
  Open();
  wchar_t caption[64];
  GetWindowTextW(window, caption, 64);
  EXPECT_EQ(Narrow(caption), "Velmoth");
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(GetMenu(window), nullptr);

  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Scaled(590, window));
  EXPECT_EQ(client.bottom, Scaled(352, window));
  RECT outer{};
  GetWindowRect(window, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_NEAR(outer.left + outer.right, monitor.rcWork.left + monitor.rcWork.right, 1);
  EXPECT_NEAR(outer.top + outer.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);

  ExpectLayoutAt(GetDpiForWindow(window));
  // On a monitor of another density everything scales with it.
  RECT suggested = outer;
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  ExpectLayoutAt(144);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&outer));

  // No default button: Enter has nothing to press.
  for (const ControlId button : {kCmdNone, kCmdAll, kCmdCopy, kCmdQuit}) {
    EXPECT_EQ(GetWindowLongPtrW(Item(button), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << button;
  }

  // Tab order 0 to 7, labels taking no focus; the z-order follows it.
  const ControlId tabOrder[] = {kCmdAll, kLvwMail, kCmdCopy, kCmdQuit, kChkDelete, kCmdNone};
  HWND at = Item(kCmdNone);
  for (const ControlId next : tabOrder) {
    at = GetNextDlgTabItem(window, at, FALSE);
    EXPECT_EQ(GetDlgCtrlID(at), next);
  }
  std::vector<int> zOrder;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    zOrder.push_back(GetDlgCtrlID(child));
  }
  EXPECT_EQ(zOrder, (std::vector<int>{kCmdNone, kCmdAll, kLvwMail, kCmdCopy, kCmdQuit, kLabel1,
                                      kChkDelete, kLabel2}));

  EXPECT_EQ(GetFocus(), Item(kCmdNone));
  EXPECT_EQ(SendMessageW(Item(kChkDelete), BM_GETCHECK, 0, 0), BST_CHECKED);

  const auto listStyle = GetWindowLongPtrW(List(), GWL_STYLE);
  EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(listStyle & LVS_EDITLABELS, 0);
  const auto extended = SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
            LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  EXPECT_TRUE(errors.empty());
}

TEST_F(FrmMainTest, ListsTheCandidatesAndAllOrNoneTickThemAll) {
  Park("alpha", "Status=Failed", "hello");
  Park("two words", "Status=Failed", "");
  Park(kUmlauts, "Status=Failed");
  Park("spooling", "Status=Spooling");
  Park("report", "CommandType=NDR");
  Park("orphan", "Status=Failed", nullptr);
  const std::chrono::sys_seconds noon{std::chrono::sys_days(std::chrono::year(2021) / 3 / 4) +
                                      std::chrono::hours(12)};
  const auto march2021 = std::chrono::file_clock::from_sys(noon);
  fs::last_write_time(server.badMail() / "alpha", march2021);
  Open();
  EXPECT_EQ(Names(), (std::vector<std::string>{kUmlauts, "alpha", "two words"}));
  const auto alpha = ShownRows(List())[static_cast<std::size_t>(IndexOf("alpha"))];
  EXPECT_EQ(alpha.size, "5");
  EXPECT_NE(alpha.date.find("2021"), std::string::npos) << alpha.date;
  EXPECT_EQ(ShownRows(List())[static_cast<std::size_t>(IndexOf("two words"))].size, "0");

  for (const auto& [button, ticked] : {std::pair{kCmdAll, true}, std::pair{kCmdNone, false}}) {
    Click(button);
    for (const auto& row : ShownRows(List())) EXPECT_EQ(row.ticked, ticked) << row.name;
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(FrmMainTest, CopyRequeuesTheTickedRowsAndRebuildsTheList) {
  for (const bool deleteParked : {true, false}) {
    SCOPED_TRACE(deleteParked ? "delete ticked" : "delete unticked");
    for (const std::string& name : {std::string("alpha"), std::string("beta"), kUmlauts}) {
      Park(name, "Status=Failed\r\nRetries=4\r\n", name.c_str());
    }
    Open();
    Tick("alpha");
    Tick(kUmlauts);
    if (!deleteParked) Click(kChkDelete);
    Click(kCmdCopy);
    for (const std::string& name : {std::string("alpha"), kUmlauts}) {
      const fs::path file = PathFromText(name);
      EXPECT_EQ(ReadFile(server.outbound() / "messages" / file), name);
      EXPECT_EQ(ReadFile(server.outbound() / file).find("Status=Failed"), std::string::npos);
      EXPECT_EQ(fs::exists(server.badMail() / file), !deleteParked) << name;
      EXPECT_EQ(fs::exists(server.badMail() / "messages" / file), !deleteParked) << name;
    }
    EXPECT_FALSE(fs::exists(server.outbound() / "beta"));
    const auto left = deleteParked ? std::vector<std::string>{"beta"}
                                   : std::vector<std::string>{kUmlauts, "alpha", "beta"};
    EXPECT_EQ(Names(), left);
    for (const auto& row : ShownRows(List())) EXPECT_FALSE(row.ticked) << row.name;
    EXPECT_TRUE(errors.empty());
    for (const auto& dir : {server.badMail(), server.outbound()}) {
      for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) fs::remove(entry.path());
      }
      for (const auto& entry : fs::directory_iterator(dir / "messages")) fs::remove(entry.path());
    }
  }
}

TEST_F(FrmMainTest, AFailedCopyIsShownAndTheWindowStaysWithTheListRebuilt) {
  Park("locked", "Status=Failed", "body");
  const fs::path parked = server.badMail() / "messages" / "locked";
  ASSERT_TRUE(SetFileAttributesW(parked.c_str(), FILE_ATTRIBUTE_READONLY));
  Open();
  Tick("locked");
  Click(kCmdCopy);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(PathText(parked)), std::string::npos) << errors[0];
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(ShownRows(List()).size(), 1u);
  EXPECT_FALSE(ShownRows(List())[0].ticked);
  // The copy the server will send, and then delete, is not read-only.
  const DWORD copied = GetFileAttributesW((server.outbound() / "messages" / "locked").c_str());
  ASSERT_NE(copied, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(copied & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(FrmMainTest, DoubleClickStartsTheViewerOnTheSelectedMessageFile) {
  const fs::path log = server.root() / "viewer.log";
  SetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", log.c_str());
  Park("two words", "Status=Failed");
  Open();
  DoubleClickList();  // nothing selected: nothing starts
  SetRowState(List(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  DoubleClickList();
  const std::wstring expected =
      L"1 notepad \"" + (server.badMail() / "messages" / "two words").native() + L"\"\n";
  std::string recorded;
  for (int wait = 0; wait < 100 && recorded.size() < expected.size() * sizeof(wchar_t); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    recorded = ReadFile(log);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  recorded = ReadFile(log);
  const std::wstring line(reinterpret_cast<const wchar_t*>(recorded.data()),
                          recorded.size() / sizeof(wchar_t));
  EXPECT_EQ(Narrow(line), Narrow(expected));
  EXPECT_TRUE(errors.empty());
  SetEnvironmentVariableW(L"VELMOTH_VIEWER_LOG", nullptr);
}

TEST_F(FrmMainTest, QuitAndTheCloseBoxEndTheProgramButEnterAndEscDoNot) {
  Park("alpha", "Status=Failed");
  Open();
  Tick("alpha");
  for (const ControlId focus : {kCmdCopy, kCmdQuit, kCmdNone, kLvwMail, kChkDelete}) {
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
      SetFocus(Item(focus));
      MSG press{Item(focus), WM_KEYDOWN, key, 0, 0, {}};
      if (!IsDialogMessageW(window, &press)) DispatchMessageW(&press);
      EXPECT_FALSE(Pump()) << focus << " " << key;
      ASSERT_TRUE(IsWindow(window)) << focus << " " << key;
    }
  }
  EXPECT_TRUE(ShownRows(List())[0].ticked);
  EXPECT_FALSE(fs::exists(server.outbound() / "alpha"));
  EXPECT_EQ(SendMessageW(Item(kChkDelete), BM_GETCHECK, 0, 0), BST_CHECKED);

  const std::function<void()> closers[] = {
      [this] { SendMessageW(Item(kCmdQuit), BM_CLICK, 0, 0); },
      [this] { SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); },
  };
  for (const auto& close : closers) {
    Open();
    close();
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(IsWindow(window));
  }
}

}  // namespace
}  // namespace velmoth::win32
