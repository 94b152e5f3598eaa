// The Qt frmMain's list menu, its keys and its dialogs on a scratch mail server:
// the menu opens every way with its entries and their keys, each entry and key
// runs its command on the selected row, F5 reads Bad Mail again wherever the
// focus is, and the list follows Bad Mail without a click.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <functional>

#include "frm_main_fixture.h"
#include "support/permissions.h"

namespace velmoth::qt {
namespace {

namespace fs = std::filesystem;
using velmoth::testing::RowOf;
using velmoth::testing::SortedRowNames;
using Names = std::vector<std::string>;

// Long enough for a loaded machine; a wait that is met ends at once.
constexpr int kDeadlineMs = 20000;

// Acts once on the first window named `name` that shows while it lives, a pop-up
// menu or a dialog the window runs to its end, from the event loop that shows it.
class WhenShown {
 public:
  WhenShown(const char* name, std::function<void(QWidget&)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this, name] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() != QLatin1String(name) || !widget->isVisible()) continue;
        timer_.stop();
        ++seen;
        act_(*widget);
        return;
      }
    });
    timer_.start(10);
  }
  int seen = 0;

 private:
  std::function<void(QWidget&)> act_;
  QTimer timer_;
};

class FrmMainCommands : public ViewerTest {
 protected:
  // The window in front, with the list focused and the row of `selected` selected.
  void OpenOnRow(const std::string& selected) {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    view()->setFocus();
    view()->setCurrentIndex(model().index(static_cast<int>(RowOf(list(), selected)), 0));
  }
  QTreeView* view() { return Control<QTreeView>("lvwMail"); }
  // Chooses the menu's entry `caption` once the menu shows.
  WhenShown Choose(std::string_view caption) {
    return WhenShown("lvwMailMenu", [caption](QWidget& menu) {
      for (QAction* action : menu.actions()) {
        if (action->text() != QString::fromUtf8(caption.data(), caption.size())) continue;
        static_cast<QMenu&>(menu).setActiveAction(action);
        QTest::keyClick(&menu, Qt::Key_Return);
      }
    });
  }
};

TEST_F(FrmMainCommands, TheListsMenuOpensEachWayWithItsEntriesInOrderEachWithItsKey) {
  for (const char* name : {"a.msg", "b.msg"}) server.Park(name, kParked);
  OpenOnRow("a.msg");
  const QRect second = view()->visualRect(model().index(1, 0));
  const struct {
    const char* way;
    std::function<void()> open;
  } ways[] = {
      {"right click",
       [&] {
         QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                           view()->viewport()->mapTo(window.get(), second.center()));
       }},
      {"Menu key", [&] { QTest::keyClick(view(), Qt::Key_Menu); }},
      {"Shift+F10", [&] { QTest::keyClick(view(), Qt::Key_F10, Qt::ShiftModifier); }},
  };
  std::vector<std::pair<QString, QKeySequence>> expected;
  for (const MenuCommand& command : kContextMenu) {
    expected.push_back({QString::fromUtf8(command.caption.data(), command.caption.size()),
                        QKeySequence::fromString(Latin1(command.key))});
  }
  for (const auto& way : ways) {
    SCOPED_TRACE(way.way);
    std::vector<std::pair<QString, QKeySequence>> entries;
    const WhenShown menu("lvwMailMenu", [&](QWidget& shown) {
      for (const QAction* action : shown.actions()) {
        entries.push_back({action->text(), action->shortcut()});
      }
      QTest::keyClick(&shown, Qt::Key_Escape);
    });
    way.open();
    EXPECT_EQ(menu.seen, 1);
    EXPECT_EQ(entries, expected);
  }
  // The right click chose the row it was on.
  EXPECT_EQ(window->SelectedRow(), 1u);
}

// Each entry of the menu and each of its keys, on the selected row "b.msg".
TEST_F(FrmMainCommands, EachEntryAndEachOfItsKeysRunsItsCommandOnTheSelectedRow) {
  const fs::path viewed = server.root() / "bin" / "xdg-open.log";
  const fs::path parked = server.badMail() / "messages" / "b.msg";
  const std::function<void(const QString& shown)> checks[] = {
      [&](const QString&) {
        EXPECT_EQ(Recorded(), "1\n" + parked.string() + "\n");
        fs::remove(viewed);
      },
      [&](const QString&) {
        EXPECT_FALSE(fs::exists(parked));
        EXPECT_EQ(SortedRowNames(list()), Names{"a.msg"});
      },
      [&](const QString& shown) { EXPECT_EQ(shown, "b.msg"); },
      [&](const QString&) {
        auto* dialog = window->findChild<QDialog*>(QStringLiteral("tickMatching"));
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        dialog->close();
      },
  };
  static_assert(std::size(checks) == std::size(kContextMenu));
  for (std::size_t entry = 0; entry < std::size(kContextMenu); ++entry) {
    const MenuCommand& command = kContextMenu[entry];
    std::vector<std::function<void()>> ways = {[&] { QTest::keyClick(view(), Qt::Key_Menu); }};
    if (!command.key.empty()) {
      const QKeySequence key = QKeySequence::fromString(Latin1(command.key));
      ways.push_back([this, key] { QTest::keySequence(view(), key); });
    }
    // The main keyboard's Enter as well as the keypad's.
    if (command.key == "Alt+Enter") {
      ways.push_back([this] { QTest::keyClick(view(), Qt::Key_Return, Qt::AltModifier); });
    }
    for (std::size_t way = 0; way < ways.size(); ++way) {
      SCOPED_TRACE(std::string(command.caption) + (way == 0 ? " from the menu" : " by its key"));
      for (const char* name : {"a.msg", "b.msg"}) server.Park(name, kParked);
      OpenOnRow("b.msg");
      QString shown;
      const WhenShown details("details", [&](QWidget& dialog) {
        shown = dialog.findChild<QLineEdit*>(QStringLiteral("name"))->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
      });
      const WhenShown menu = Choose(command.caption);
      ways[way]();
      checks[entry](shown);
    }
  }
}

TEST_F(FrmMainCommands, F5ReadsBadMailAgainWhereverTheFocusIs) {
  server.Park("a.msg", kParked);
  OpenOnRow("a.msg");
  Names listed = {"a.msg"};
  for (const form::Control& control : form::kControls) {
    if (!form::TakesFocus(control.kind)) continue;
    listed.push_back(std::string(control.name) + ".msg");
    server.Park(listed.back(), kParked);
    QWidget* focus = Control<QWidget>(control.name);
    focus->setFocus();
    // Read before the key returns: no watch could have listed it yet.
    QTest::keyClick(focus, Qt::Key_F5);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(SortedRowNames(list()), listed) << control.name;
  }
}

TEST_F(FrmMainCommands, EnterInTheTickMatchingDialogTicksAndItsStatusSaysHowMany) {
  server.Park("ann.msg", kParked, "From: Ann <ann@example.org>\r\nSubject: Rates\r\n\r\n");
  server.Park("bob.msg", kParked, "From: Bob <bob@example.org>\r\nSubject: Ann's rates\r\n\r\n");
  OpenOnRow("ann.msg");
  QTest::keyClick(view(), Qt::Key_F, Qt::ControlModifier);
  auto* dialog = window->findChild<QDialog*>(QStringLiteral("tickMatching"));
  ASSERT_NE(dialog, nullptr);
  const struct {
    const char* text;
    const char* field;
    const char* after;
    Qt::Key key;  // Return ticks; U stands for the Untick button
    const char* status;
    Names ticked;
  } cases[] = {
      {"ann", "From", "", Qt::Key_Return, "Ticked 1 of 2 rows", {"ann.msg"}},
      {"ANN", "Any", "", Qt::Key_Enter, "Ticked 2 of 2 rows", {"ann.msg", "bob.msg"}},
      {"rates", "Subject", "2000-01-01", Qt::Key_U, "Unticked 2 of 2 rows", {}},
      {"",
       "Any",
       "last week",
       Qt::Key_Return,
       "Not a date: last week. Write 2026-12-07, or 2026-12-07 08:15.",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto* text = dialog->findChild<QLineEdit*>(QStringLiteral("text"));
    text->clear();
    QTest::keyClicks(text, QString::fromLatin1(c.text));
    dialog->findChild<QComboBox*>(QStringLiteral("field"))->setCurrentText(c.field);
    dialog->findChild<QLineEdit*>(QStringLiteral("after"))->setText(c.after);
    if (c.key == Qt::Key_U) {
      QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("untick")), Qt::LeftButton);
    } else {
      QTest::keyClick(text, c.key);
    }
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("status"))->text(), c.status);
    Names ticked;
    for (const std::size_t row : list().TickedRows()) ticked.push_back(list()[row].entry.name);
    std::sort(ticked.begin(), ticked.end());
    EXPECT_EQ(ticked, c.ticked);
    EXPECT_TRUE(dialog->isVisible());
  }
  QTest::keyClick(dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
}

// The kernel's own events, with the window open: what the server parks or takes
// away shows in the list without a click, and a message that came so can be requeued.
TEST_F(FrmMainCommands, TheListFollowsBadMailWithoutAClickAndWhatCameCanBeRequeued) {
  server.Park("old.msg", kParked);
  Open();
  server.Park("late.msg", kParked);
  fs::remove(server.badMail() / "old.msg");
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return SortedRowNames(list()) == Names{"late.msg"}; }, kDeadlineMs));
  Tick("late.msg");
  Click("cmdCopy");
  EXPECT_TRUE(fs::exists(server.outbound() / "messages" / "late.msg"));
  EXPECT_EQ(list().size(), 0u);
  EXPECT_TRUE(boxes.seen.empty());
}

// Bad Mail in a directory that is not there when the window opens, nor is the
// directory it is to lie in, is followed once F5 has found it.
TEST_F(FrmMainCommands, ABadMailDirectoryThatComesLaterIsFollowedAfterF5) {
  server.Configure("Q:\\Later\\Bad Mail", testing::MailServer::OutboundValue());
  OpenOnRow("none");
  const fs::path later = server.root() / "drive" / "Later" / "Bad Mail";
  fs::create_directories(later / "messages");
  testing::WriteFile(later / "first.msg", kParked);
  testing::WriteFile(later / "messages" / "first.msg", "body");
  QTest::keyClick(view(), Qt::Key_F5);
  EXPECT_EQ(SortedRowNames(list()), Names{"first.msg"});
  testing::WriteFile(later / "second.msg", kParked);
  testing::WriteFile(later / "messages" / "second.msg", "body");
  EXPECT_TRUE(QTest::qWaitFor([&] { return list().size() == 2; }, kDeadlineMs));
}

TEST_F(FrmMainCommands, BadMailThatCannotBeFollowedIsToldOnce) {
  server.Park("a.msg", kParked);
  const fs::path messages = server.badMail() / "messages";
  {
    const velmoth::testing::PermissionsEnforced enforced;
    fs::permissions(messages, fs::perms::none);
    OpenOnRow("a.msg");
    for (int refresh = 0; refresh < 2; ++refresh) QTest::keyClick(view(), Qt::Key_F5);
    fs::permissions(messages, fs::perms::owner_all);
  }
  int told = 0;
  for (const auto& box : boxes.seen) told += box.text.startsWith("The list cannot follow");
  EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace velmoth::qt
