// frmMain's two dialogs: the details dialog shows a parked message's fields and
// its files as written, selectable, and closes on Esc; the tick matching dialog
// ticks and unticks the matching rows from its keyboard and says how many.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/win32/frm_main.h"
#include "app/win32/frm_main_fixture.h"
#include "app/win32/window_test_support.h"

namespace velmoth::win32 {
namespace {

namespace fs = std::filesystem;

using testing::FrmMainTest;
using testing::kParked;
using testing::ModalSpy;
using testing::Names;
using testing::SetRowState;
using testing::ShownRows;
using testing::WindowText;

// A message as the server writes it, with a header that names everyone.
constexpr char kMessage[] =
    "From: Ann Lee <ann@example.org>\r\n"
    "To: bob@example.org\r\n"
    "Cc: cy@example.org\r\n"
    "Subject: Quarterly figures\r\n"
    "Date: Mon, 7 Dec 2026 08:15:00 +0000\r\n"
    "Message-ID: <q4@example.org>\r\n"
    "\r\n"
    "The figures.\r\n";

class DetailsDialogTest : public FrmMainTest {
 protected:
  // The texts of the details dialog's boxes as it opens on `name` from the
  // keyboard, and whether each is read-only and in a fixed-pitch font; Esc then
  // closes it, or the spy does, failing the test.
  struct Box {
    std::string text;
    bool readOnly = false;
    bool fixedPitch = false;
  };
  std::map<int, Box> ShownFor(const std::string& name) {
    std::map<int, Box> shown;
    spy.onDialog = [&](HWND dialog) {
      for (int id = IDC_DETAILS_NAME; id <= IDC_DETAILS_HEADER; ++id) {
        const HWND box = GetDlgItem(dialog, id);
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        shown[id] = {WindowText(box), (GetWindowLongPtrW(box, GWL_STYLE) & ES_READONLY) != 0,
                     (font.lfPitchAndFamily & 0x3) == FIXED_PITCH};
      }
      PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
    };
    SetFocus(List());
    SetRowState(List(), IndexOf(name), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Press(List(), "Alt+Enter");
    return shown;
  }

  ModalSpy spy;
};

TEST_F(DetailsDialogTest, ShowsTheFieldsAndTheFilesAsWrittenOrWhyAFileCannotBeRead) {
  server.Park("full", kParked, kMessage);
  server.Park("gone", kParked, kMessage);
  Open();
  // Its message file goes after the list was read.
  fs::remove(server.badMail() / "messages" / "gone");
  const std::string lines = "Status=Failed\r\nRetries=4\r\n";
  const struct {
    const char* name;
    std::map<int, std::string> texts;  // boxes not named here are not empty
    std::vector<int> empty;
  } cases[] = {
      {"full",
       {{IDC_DETAILS_NAME, "full"},
        {IDC_DETAILS_FROM, "Ann Lee <ann@example.org>"},
        {IDC_DETAILS_TO, "bob@example.org"},
        {IDC_DETAILS_CC, "cy@example.org"},
        {IDC_DETAILS_SUBJECT, "Quarterly figures"},
        {IDC_DETAILS_DATE, "Mon, 7 Dec 2026 08:15:00 +0000"},
        {IDC_DETAILS_MESSAGE_ID, "<q4@example.org>"},
        {IDC_DETAILS_SIZE, std::to_string(sizeof kMessage - 1) + " bytes"},
        {IDC_DETAILS_COMMAND, lines},
        {IDC_DETAILS_HEADER,
         "From: Ann Lee <ann@example.org>\r\nTo: bob@example.org\r\nCc: cy@example.org\r\n"
         "Subject: Quarterly figures\r\nDate: Mon, 7 Dec 2026 08:15:00 +0000\r\n"
         "Message-ID: <q4@example.org>\r\n"}},
       {}},
      {"gone",
       {{IDC_DETAILS_NAME, "gone"},
        {IDC_DETAILS_COMMAND, lines},
        {IDC_DETAILS_HEADER, "The file is no longer there."}},
       {IDC_DETAILS_FROM, IDC_DETAILS_TO, IDC_DETAILS_CC, IDC_DETAILS_SUBJECT, IDC_DETAILS_DATE,
        IDC_DETAILS_MESSAGE_ID, IDC_DETAILS_SIZE, IDC_DETAILS_MESSAGE_DATE}},
  };
  for (const auto& expected : cases) {
    SCOPED_TRACE(expected.name);
    const std::map<int, Box> shown = ShownFor(expected.name);
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(IDC_DETAILS_HEADER - IDC_DETAILS_NAME + 1));
    for (const auto& [id, box] : shown) {
      SCOPED_TRACE(id);
      EXPECT_TRUE(box.readOnly);
      EXPECT_EQ(box.fixedPitch, id == IDC_DETAILS_COMMAND || id == IDC_DETAILS_HEADER);
      if (const auto text = expected.texts.find(id); text != expected.texts.end()) {
        EXPECT_EQ(box.text, text->second);
      } else {
        EXPECT_EQ(box.text.empty(), std::ranges::count(expected.empty, id) == 1) << box.text;
      }
    }
  }
  EXPECT_TRUE(boxes.seen.empty());
}

class TickMatchingDialogTest : public FrmMainTest {
 protected:
  void SetUp() override {
    server.Park(
        "alpha", kParked,
        "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Invoice 12\r\n\r\n");
    server.Park("beta", kParked,
                "From: carl@example.net\r\nTo: dora@example.net\r\nCc: ann@example.org\r\n"
                "Subject: Lunch\r\n\r\n");
    server.Park("gamma", kParked,
                "From: eve@example.com\r\nTo: bob@example.org\r\nSubject: Re: INVOICE 12\r\n\r\n");
  }

  HWND Dialog() const { return frm->tickMatchingDialog(); }
  HWND DialogItem(int id) const { return GetDlgItem(Dialog(), id); }

  Names Ticked() const {
    Names names;
    for (const auto& row : ShownRows(List())) {
      if (row.ticked) names.push_back(row.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(TickMatchingDialogTest, TicksAndUnticksTheMatchingRowsAndSaysHowMany) {
  const struct {
    const char* field;
    const char* text;
    const char* after;
    const char* before;
    bool untick;  // from every row ticked, with Untick; else Tick by Enter
    Names ticked;
    std::string status;
  } cases[] = {
      {"Any field", "ANN", "", "", false, {"alpha", "beta"}, "Ticked 2 of 3 rows"},
      {"From", "ann", "", "", false, {"alpha"}, "Ticked 1 of 3 rows"},
      {"To or Cc", "bob@", "", "", false, {"alpha", "gamma"}, "Ticked 2 of 3 rows"},
      {"Subject", "invoice", "", "", false, {"alpha", "gamma"}, "Ticked 2 of 3 rows"},
      {"Any field", "", "2000-01-01", "", false, {"alpha", "beta", "gamma"}, "Ticked 3 of 3 rows"},
      {"Any field", "", "", "2000-01-01 08:00", false, {}, "Ticked 0 of 3 rows"},
      {"Any field",
       "",
       "soon",
       "",
       false,
       {},
       "Not a date: soon. Write 2026-12-07, or 2026-12-07 08:15."},
      {"Any field", "ann", "", "", true, {"gamma"}, "Unticked 2 of 3 rows"},
  };
  for (const auto& request : cases) {
    SCOPED_TRACE(std::string(request.field) + " " + request.text + " " + request.after + " " +
                 request.before);
    Open();
    if (request.untick) Click("cmdAll");
    SetFocus(List());
    Press(List(), "Ctrl+F");
    ASSERT_NE(Dialog(), nullptr);
    SetDlgItemTextW(Dialog(), IDC_MATCH_TEXT, Widen(request.text).c_str());
    SetDlgItemTextW(Dialog(), IDC_MATCH_AFTER, Widen(request.after).c_str());
    SetDlgItemTextW(Dialog(), IDC_MATCH_BEFORE, Widen(request.before).c_str());
    ASSERT_NE(SendMessageW(DialogItem(IDC_MATCH_FIELD), CB_SELECTSTRING, -1,
                           reinterpret_cast<LPARAM>(Widen(request.field).c_str())),
              CB_ERR);
    if (request.untick) {
      SendMessageW(DialogItem(IDC_MATCH_UNTICK), BM_CLICK, 0, 0);
    } else {
      Press(GetFocus(), "Enter");
    }
    EXPECT_EQ(WindowText(DialogItem(IDC_MATCH_STATUS)), request.status);
    EXPECT_EQ(Ticked(), request.ticked);
    EXPECT_TRUE(IsWindowVisible(Dialog()));
  }
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(TickMatchingDialogTest, TabMovesThroughTheDialogAndEscClosesIt) {
  Open();
  SetFocus(List());
  Press(List(), "Ctrl+F");
  ASSERT_NE(Dialog(), nullptr);
  ASSERT_EQ(GetFocus(), DialogItem(IDC_MATCH_TEXT));
  Press(GetFocus(), "Tab");
  EXPECT_EQ(GetFocus(), DialogItem(IDC_MATCH_FIELD));
  // Ctrl+F again brings the one dialog back to its text.
  SetFocus(List());
  const HWND dialog = Dialog();
  Press(List(), "Ctrl+F");
  EXPECT_EQ(Dialog(), dialog);
  EXPECT_EQ(GetFocus(), DialogItem(IDC_MATCH_TEXT));
  Press(GetFocus(), "Esc");
  EXPECT_EQ(Dialog(), nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(Ticked(), Names{});
}

}  // namespace
}  // namespace velmoth::win32
