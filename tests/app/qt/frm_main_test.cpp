// The window on a scratch mail server: its layout against the control table, and
// each command driven through its controls, checked on disk and in the list.
#include "app/qt/frm_main.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "support/mail_server.h"

namespace velmoth::qt {
namespace {

namespace fs = std::filesystem;
using velmoth::testing::EntryNames;
using velmoth::testing::MailServer;
using velmoth::testing::ReadFile;
using velmoth::testing::WriteFile;

constexpr char kParked[] = "Status=Failed\r\nRetries=5\r\nServer=mx1.example.net\r\n";

// Answers every message box that opens while it lives, noting its caption and text.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) continue;
        seen.push_back({box->windowTitle(), box->text(), box->icon()});
        box->accept();
      }
    });
    timer_.start(10);
  }
  struct Box {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
  };
  std::vector<Box> seen;

 private:
  QTimer timer_;
};

class FrmMainTest : public ::testing::Test {
 protected:
  void Open() {
    window = std::make_unique<FrmMain>();
    window->Form_Load();
    window->show();
  }
  template <class T>
  T* Control(const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  void Click(const char* button) {
    QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton);
  }
  MailModel& list() { return window->model(); }
  std::set<std::string> Rows() {
    std::set<std::string> rows;
    for (int row = 1; row <= list().RowCount(); ++row) rows.insert(list().RowText(row));
    return rows;
  }
  int RowOf(const std::string& name) {
    for (int row = 1; row <= list().RowCount(); ++row) {
      if (list().RowText(row) == name) return row;
    }
    ADD_FAILURE() << name << " is not listed";
    return 0;
  }
  void DoubleClickRow(int row) {
    auto* view = Control<QTreeView>("lvwMail");
    const QRect cell = view->visualRect(list().index(row - 1, MailModel::kFileSize));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
  }

  MailServer server;
  std::unique_ptr<FrmMain> window;
};

TEST_F(FrmMainTest, ControlsFollowTheLayoutTable) {
  struct Layout {
    const char* name;
    QString text;
    QRect geometry;
  };
  const std::vector<Layout> table = {
      {"Label1", "Bad Mail Directory", {8, 8, 113, 17}},
      {"Label2", "Double-click item to view", {168, 8, 249, 17}},
      {"cmdNone", "None", {448, 8, 65, 17}},
      {"cmdAll", "All", {520, 8, 65, 17}},
      {"lvwMail", "", {8, 24, 577, 289}},
      {"cmdCopy", "Copy to SMTP Outbound", {8, 320, 145, 25}},
      {"chkDelete", "Delete from Bad Mail after copy", {208, 320, 201, 25}},
      {"cmdQuit", "Quit", {488, 320, 97, 25}},
  };
  window = std::make_unique<FrmMain>();
  EXPECT_EQ(window->objectName(), "frmMain");
  EXPECT_EQ(window->windowTitle(), "Velmoth");
  EXPECT_EQ(window->minimumSize(), QSize(590, 352));
  EXPECT_EQ(window->maximumSize(), QSize(590, 352));
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  for (const Layout& control : table) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Control<QWidget>(control.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), control.geometry);
    EXPECT_EQ(widget->property("text").toString(), control.text);
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(control.text), control.geometry.width());
  }

  auto* view = Control<QTreeView>("lvwMail");
  const std::vector<std::pair<QString, int>> columns = {
      {"Filename", 333}, {"File size", 93}, {"File date", 141}};
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(view->model()->headerData(column, Qt::Horizontal).toString(), columns[column].first);
    EXPECT_EQ(view->header()->sectionSize(column), columns[column].second);
  }
  EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(FrmMainTest, StartsWithFocusOnNoneTheTableTabOrderAndNoDefaultButton) {
  window = std::make_unique<FrmMain>();
  EXPECT_EQ(window->focusWidget(), Control<QWidget>("cmdNone"));
  EXPECT_TRUE(Control<QCheckBox>("chkDelete")->isChecked());
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->autoDefault() || button->isDefault())
        << button->objectName().toStdString();
  }

  const std::set<QString> named = {"Label1",  "Label2",  "cmdNone",   "cmdAll",
                                   "lvwMail", "cmdCopy", "chkDelete", "cmdQuit"};
  std::vector<QString> order;
  QWidget* widget = Control<QWidget>("cmdNone");
  do {
    if (named.count(widget->objectName()) && (widget->focusPolicy() & Qt::TabFocus)) {
      order.push_back(widget->objectName());
    }
    widget = widget->nextInFocusChain();
  } while (widget != Control<QWidget>("cmdNone"));
  EXPECT_EQ(order, (std::vector<QString>{"cmdNone", "cmdAll", "lvwMail", "cmdCopy", "cmdQuit",
                                         "chkDelete"}));
}

TEST_F(FrmMainTest, EnterAndEscTriggerNothing) {
  server.Park("a.msg", kParked);
  Open();
  Click("cmdAll");
  auto* none = Control<QPushButton>("cmdNone");
  none->setFocus();
  QTest::keyClick(none, Qt::Key_Return);
  QTest::keyClick(none, Qt::Key_Enter);
  QTest::keyClick(none, Qt::Key_Escape);
  EXPECT_TRUE(list().IsTicked(1));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(FrmMainTest, StartListsTheCandidatesWithSizeAndDate) {
  server.Park("ready.msg", kParked, "Subject: hi\r\n\r\n12345");
  server.Park("also ready.msg", kParked);
  server.Park("spooling.msg", "Status=Spooling\r\n");
  server.Park("report.msg", "CommandType=NDR\r\n");
  server.Park("no message.msg", kParked, nullptr);
  WriteFile(server.badMail() / "messages" / "orphan.msg", "body");
  fs::last_write_time(server.badMail() / "ready.msg",
                      fs::file_time_type::clock::from_sys(
                          std::chrono::sys_seconds(std::chrono::seconds(1764990005))));
  Open();

  EXPECT_EQ(Rows(), (std::set<std::string>{"ready.msg", "also ready.msg"}));
  const int row = RowOf("ready.msg") - 1;
  EXPECT_EQ(list().index(row, MailModel::kFileSize).data().toString(), "20");
  EXPECT_EQ(list().index(row, MailModel::kFileDate).data().toString(), "12/6/25 3:00:05 AM");
  EXPECT_FALSE(list().IsTicked(1) || list().IsTicked(2));
}

TEST_F(FrmMainTest, AllTicksEveryRowAndNoneUnticksThem) {
  for (const char* name : {"a", "b", "c"}) server.Park(name, kParked);
  Open();
  list().SetTicked(2, true);
  for (const auto& [button, ticked] : {std::pair{"cmdAll", true}, std::pair{"cmdNone", false}}) {
    Click(button);
    for (int row = 1; row <= 3; ++row) {
      EXPECT_EQ(list().IsTicked(row), ticked) << button << " row " << row;
      EXPECT_EQ(list().index(row - 1, 0).data(Qt::CheckStateRole).toInt(),
                ticked ? Qt::Checked : Qt::Unchecked);
    }
  }
}

TEST_F(FrmMainTest, CopyRequeuesTheTickedRowsAndRebuildsTheList) {
  for (const bool deleteParked : {true, false}) {
    SCOPED_TRACE(deleteParked ? "delete on" : "delete off");
    MailServer fresh;
    for (const char* name : {"a.msg", "b.msg", "c.msg"}) fresh.Park(name, kParked, name);
    Open();
    Control<QCheckBox>("chkDelete")->setChecked(deleteParked);
    for (const char* name : {"a.msg", "c.msg"}) {
      list().setData(list().index(RowOf(name) - 1, 0), Qt::Checked, Qt::CheckStateRole);
    }
    Click("cmdCopy");

    EXPECT_EQ(EntryNames(fresh.outbound()),
              (std::vector<std::string>{"a.msg", "c.msg", "messages"}));
    EXPECT_EQ(ReadFile(fresh.outbound() / "messages" / "c.msg"), "c.msg");
    EXPECT_EQ(ReadFile(fresh.outbound() / "a.msg").substr(0, 24), "Status=Unsent\r\nRetries=0");
    const std::set<std::string> parked = deleteParked
                                             ? std::set<std::string>{"b.msg"}
                                             : std::set<std::string>{"a.msg", "b.msg", "c.msg"};
    EXPECT_EQ(Rows(), parked);
    std::vector<std::string> onDisk(parked.begin(), parked.end());
    EXPECT_EQ(EntryNames(fresh.badMail() / "messages"), onDisk);
    for (int row = 1; row <= list().RowCount(); ++row) EXPECT_FALSE(list().IsTicked(row));
  }
}

TEST_F(FrmMainTest, CopyWithNothingTickedStillRebuildsTheList) {
  server.Park("old.msg", kParked);
  Open();
  server.Park("new.msg", kParked);
  Click("cmdCopy");
  EXPECT_EQ(Rows(), (std::set<std::string>{"old.msg", "new.msg"}));
  EXPECT_EQ(EntryNames(server.outbound()), std::vector<std::string>{"messages"});
}

// A viewer standing in for xdg-open that writes its arguments, one a line, to a file.
class ViewerTest : public FrmMainTest {
 protected:
  void SetUp() override {
    savedPath_ = getenv("PATH");
    const fs::path bin = server.root() / "bin";
    fs::create_directories(bin);
    WriteFile(bin / "xdg-open",
              "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.log\"\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  // The viewer's arguments, once it has run.
  std::string Recorded(std::chrono::milliseconds patience = std::chrono::seconds(10)) {
    const fs::path log = server.root() / "bin" / "xdg-open.log";
    for (auto waited = std::chrono::milliseconds(0); waited < patience;
         waited += std::chrono::milliseconds(20)) {
      if (fs::exists(log)) return ReadFile(log);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }

  std::string savedPath_;
};

TEST_F(ViewerTest, DoubleClickOpensTheMessageFileAsOneArgument) {
  const std::string name = "Re \"offer\"; it's $(id) & more.msg";
  server.Park("first.msg", kParked);
  server.Park(name, kParked);
  Open();
  DoubleClickRow(RowOf(name));
  EXPECT_EQ(Recorded(), "1\n" + (server.badMail() / "messages" / name).string() + "\n");
}

TEST_F(ViewerTest, DoubleClickWithNoRowSelectedStartsNothing) {
  server.Park("first.msg", kParked);
  Open();
  auto* view = Control<QTreeView>("lvwMail");
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, 250));
  EXPECT_EQ(Recorded(std::chrono::milliseconds(500)), "");
}

TEST_F(ViewerTest, AViewerThatCannotStartIsReportedAndTheWindowStays) {
  server.Park("first.msg", kParked);
  Open();
  setenv("PATH", (server.root() / "nowhere").c_str(), 1);
  MessageBoxWatcher boxes;
  DoubleClickRow(1);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text.toStdString(),
            "Error 2: The viewer xdg-open could not be started\n\n" +
                (server.badMail() / "messages" / "first.msg").string());
  EXPECT_TRUE(window->isVisible());
}

TEST_F(FrmMainTest, FailuresAreReportedAndTheWindowStaysOpen) {
  struct Failure {
    const char* what;
    std::function<void(MailServer&)> before;  // before the window opens
    std::function<void(MailServer&)> after;   // then the operator copies
    const char* message;
    std::set<std::string> rows;
  };
  const std::vector<Failure> failures = {
      {"no Bad Mail value",
       [](MailServer& s) { s.Configure("", MailServer::OutboundValue()); },
       nullptr,
       "\"Bad Mail Directory\" does not exist",
       {}},
      {"no outbound value",
       nullptr,
       [](MailServer& s) { s.Configure(MailServer::BadMailValue(), ""); },
       "\"Outbound Queue Directory\" does not exist",
       {"a.msg"}},
      {"outbound messages is a file",
       nullptr,
       [](MailServer& s) {
         fs::remove_all(s.outbound() / "messages");
         WriteFile(s.outbound() / "messages", "");
       },
       "Error 20: ",
       {"a.msg"}},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.what);
    MailServer fresh;
    fresh.Park("a.msg", kParked);
    if (failure.before) failure.before(fresh);
    MessageBoxWatcher boxes;
    Open();
    if (failure.after) {
      list().SetTicked(1, true);
      failure.after(fresh);
      Click("cmdCopy");
    }
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, "Velmoth");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes.seen[0].text.contains(failure.message)) << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Rows(), failure.rows);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

TEST_F(FrmMainTest, QuitClosesTheWindow) {
  Open();
  Click("cmdQuit");
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace velmoth::qt
