// The Qt frmMain against the form: where each control is, what it says, the tab
// order and the first states; that each control's event reaches its handler, once
// on a scratch mail server; and the message boxes and viewer of this view.
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
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "frm_main_fixture.h"
#include "support/mail_list_rows.h"
#include "support/mail_server.h"

namespace velmoth::qt {
namespace {

namespace fs = std::filesystem;
using velmoth::testing::MailServer;
using velmoth::testing::ReadFile;
using velmoth::testing::RowOf;
using velmoth::testing::SortedRowNames;
using velmoth::testing::WriteFile;
using Names = std::vector<std::string>;

// The kind of control the widget draws.
std::optional<form::Kind> KindOf(const QWidget& widget) {
  if (qobject_cast<const QLabel*>(&widget)) return form::Kind::kLabel;
  if (qobject_cast<const QPushButton*>(&widget)) return form::Kind::kButton;
  if (qobject_cast<const QCheckBox*>(&widget)) return form::Kind::kCheckBox;
  if (qobject_cast<const QTreeView*>(&widget)) return form::Kind::kList;
  return std::nullopt;
}

// The layout's tests, which CMake runs once more on a screen scaled by one and a half.
class FrmMainLayout : public FrmMainTest {};

TEST_F(FrmMainLayout, EachControlIsOfItsKindWithItsCaptionWhereTheFormPutsIt) {
  window = std::make_unique<FrmMain>();
  for (const form::Control& control : form::kControls) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Control<QWidget>(control.name);
    ASSERT_NE(widget, nullptr);
    const form::Box& box = control.box;
    EXPECT_EQ(widget->geometry(), QRect(box.left, box.top, box.width, box.height));
    EXPECT_EQ(KindOf(*widget), control.kind);
    if (control.kind == form::Kind::kList) continue;
    const QString caption = Latin1(control.caption);
    EXPECT_EQ(widget->property("text").toString(), caption);
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(caption), box.width);
  }
}

TEST_F(FrmMainLayout, TheWindowIsCaptionedAndFixedInSizeWithOnlyACloseBox) {
  window = std::make_unique<FrmMain>();
  const QSize client(form::kClientSize.width, form::kClientSize.height);
  EXPECT_EQ(window->objectName(), "frmMain");
  EXPECT_EQ(window->windowTitle(), form::kCaption);
  EXPECT_EQ(window->minimumSize(), client);
  EXPECT_EQ(window->maximumSize(), client);
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(FrmMainTest, TheWindowBearsVelmothsIconFromTheSmallestSizeToTheLargest) {
  window = std::make_unique<FrmMain>();
  const QList<QSize> sizes = window->windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16))) << sizes.size();
  EXPECT_TRUE(sizes.contains(QSize(256, 256))) << sizes.size();
}

TEST_F(FrmMainLayout, TabFollowsTheFormFromTheFirstFocusAndNoButtonIsDefault) {
  window = std::make_unique<FrmMain>();
  EXPECT_EQ(window->focusWidget(), Control<QWidget>(form::kFirstFocus));
  std::vector<QString> expected;
  for (const form::Control& control : form::kControls) {
    const QWidget* widget = Control<QWidget>(control.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ((widget->focusPolicy() & Qt::TabFocus) != 0, form::TakesFocus(control.kind))
        << control.name;
    if (form::TakesFocus(control.kind)) expected.push_back(Latin1(control.name));
    if (const auto* box = qobject_cast<const QCheckBox*>(widget)) {
      EXPECT_EQ(box->isChecked(), control.ticked) << control.name;
    }
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
      EXPECT_FALSE(button->autoDefault() || button->isDefault()) << control.name;
    }
  }
  std::vector<QString> order;
  QWidget* const first = Control<QWidget>(form::kControls[0].name);
  QWidget* widget = first;
  do {
    if (widget->focusPolicy() & Qt::TabFocus) order.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
  } while (widget != first);
  EXPECT_EQ(order, expected);
}

TEST_F(FrmMainLayout, TheListHasTheFormsColumnsAndSelectsWholeRows) {
  window = std::make_unique<FrmMain>();
  auto* view = Control<QTreeView>("lvwMail");
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->model()->columnCount(), form::kColumnCount);
  for (int index = 0; index < form::kColumnCount; ++index) {
    const form::Column& column = form::kColumns[index];
    SCOPED_TRACE(column.title);
    EXPECT_EQ(view->model()->headerData(index, Qt::Horizontal).toString(), Latin1(column.title));
    EXPECT_EQ(view->header()->sectionSize(index), column.width);
    const int alignment =
        view->model()->headerData(index, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
    EXPECT_EQ((alignment & Qt::AlignRight) != 0, column.align == form::Align::kRight);
  }
  EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(FrmMainLayout, ThePixelsOfTheFormScaleWithTheScreen) {
  const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
  window = std::make_unique<FrmMain>();
  window->show();
  EXPECT_EQ(window->devicePixelRatio(), scale);
  const auto scaled = [scale](int width, int height) {
    return QSize(qRound(width * scale), qRound(height * scale));
  };
  EXPECT_EQ(window->grab().size(), scaled(form::kClientSize.width, form::kClientSize.height));
  for (const form::Control& control : form::kControls) {
    EXPECT_EQ(Control<QWidget>(control.name)->grab().size(),
              scaled(control.box.width, control.box.height))
        << control.name;
  }
}

TEST_F(FrmMainTest, LoadListsTheParkedMessagesAndAllAndNoneTickThem) {
  for (const char* name : {"a", "b"}) server.Park(name, kParked);
  Open();
  EXPECT_EQ(SortedRowNames(list()), (Names{"a", "b"}));
  for (const auto& [button, ticked] : {std::pair{"cmdAll", true}, std::pair{"cmdNone", false}}) {
    Click(button);
    for (std::size_t row = 0; row < list().size(); ++row) {
      EXPECT_EQ(list()[row].ticked, ticked) << button << " row " << row;
      EXPECT_EQ(model().index(static_cast<int>(row), 0).data(Qt::CheckStateRole).toInt(),
                ticked ? Qt::Checked : Qt::Unchecked);
    }
  }
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, ARowsTooltipTellsWhoItsMessageIsFromToWhomAndWhatAboutAsWritten) {
  server.Park("rates", kParked,
              "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\r\nTo: bob@example.net\r\n"
              "Subject: <b>Rates</b> & fees\r\n\r\nbody");
  Open();
  for (int column = 0; column < form::kColumnCount; ++column) {
    const QString tip = model().index(0, column).data(Qt::ToolTipRole).toString();
    // Rich text, so that markup in a header is shown, not obeyed.
    QTextDocument shown;
    shown.setHtml(tip);
    EXPECT_EQ(shown.toPlainText().toStdString(),
              "From: Jörg <j@example.org>\nTo: bob@example.net\n"
              "Subject: <b>Rates</b> & fees\nDate: (none)");
  }
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, CopyRequeuesTheTickedRowsAsTheDeleteBoxSays) {
  for (const char* name : {"a.msg", "b.msg"}) server.Park(name, kParked);
  Open();
  // Unticked first, so that the second copy has a parked message to requeue again.
  for (const bool deleteParked : {false, true}) {
    SCOPED_TRACE(deleteParked ? "delete ticked" : "delete unticked");
    auto* deleteBox = Control<QCheckBox>("chkDelete");
    if (deleteBox->isChecked() != deleteParked) deleteBox->click();
    Tick("a.msg");
    Click("cmdCopy");
    EXPECT_TRUE(fs::exists(server.outbound() / "messages" / "a.msg"));
    EXPECT_EQ(fs::exists(server.badMail() / "messages" / "a.msg"), !deleteParked);
    const Names listed = deleteParked ? Names{"b.msg"} : Names{"a.msg", "b.msg"};
    EXPECT_EQ(SortedRowNames(list()), listed);
  }
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(FrmMainTest, EnterAndEscTriggerNothingWhereverTheFocusIs) {
  server.Park("a.msg", kParked);
  Open();
  Click("cmdAll");
  for (const form::Control& control : form::kControls) {
    if (!form::TakesFocus(control.kind)) continue;
    QWidget* focus = Control<QWidget>(control.name);
    focus->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(focus, key);
    }
  }
  EXPECT_TRUE(list()[0].ticked);
  EXPECT_TRUE(Control<QCheckBox>("chkDelete")->isChecked());
  EXPECT_FALSE(fs::exists(server.outbound() / "a.msg"));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(FrmMainTest, TheHourglassLastsUntilTheOutermostBusySpanEnds) {
  window = std::make_unique<FrmMain>();
  const struct {
    bool busy;
    bool expected;
  } steps[] = {{true, true}, {true, true}, {false, true}, {false, false}, {false, false}};
  for (const auto& step : steps) {
    window->SetBusyPointer(step.busy);
    const QCursor* cursor = QApplication::overrideCursor();
    EXPECT_EQ(cursor != nullptr && cursor->shape() == Qt::WaitCursor, step.expected);
  }
}

TEST_F(FrmMainTest, QuitClosesTheWindow) {
  Open();
  Click("cmdQuit");
  EXPECT_FALSE(window->isVisible());
}

TEST_F(FrmMainTest, MessageBoxesBearTheCaptionAndTheIconOfTheirKind) {
  window = std::make_unique<FrmMain>();
  const struct {
    void (FrmMain::*show)(const std::string&);
    QMessageBox::Icon icon;
  } cases[] = {{&FrmMain::ShowError, QMessageBox::Critical},
               {&FrmMain::ShowNotice, QMessageBox::Information}};
  for (const auto& c : cases) {
    boxes.seen.clear();
    (window.get()->*c.show)("Line one\n\nline two");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, form::kCaption);
    EXPECT_EQ(boxes.seen[0].icon, c.icon);
    EXPECT_EQ(boxes.seen[0].text, "Line one\n\nline two");
  }
}

TEST_F(ViewerTest, DoubleClickOnARowOpensItsMessageFileAsOneArgument) {
  const std::string name = "Re \"offer\"; it's $(id) & more.msg";
  server.Park("first.msg", kParked);
  server.Park(name, kParked);
  Open();
  DoubleClickRow(RowOf(list(), name));
  EXPECT_EQ(Recorded(), "1\n" + (server.badMail() / "messages" / name).string() + "\n");
}

TEST_F(ViewerTest, AFileTheViewerCannotBeGivenIsAFileErrorNamingIt) {
  const struct {
    std::string name;
    int number;
    std::string description;
  } cases[] = {
      {"first.msg", ENOENT, "The viewer xdg-open could not be started"},
      {"caf\xe9.msg", EILSEQ, "The file name cannot be passed to the viewer xdg-open"},
  };
  window = std::make_unique<FrmMain>();
  setenv("PATH", (server.root() / "nowhere").c_str(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = server.badMail() / "messages" / c.name;
    try {
      window->StartViewer(file);
      ADD_FAILURE() << "started";
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), c.number);
      EXPECT_EQ(error.description(), c.description);
      EXPECT_EQ(error.path(), PathText(file));
    }
  }
}

}  // namespace
}  // namespace velmoth::qt
