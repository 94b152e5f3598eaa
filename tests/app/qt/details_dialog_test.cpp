// The details dialog on its own: every field of a message's details where the
// operator can select and copy it, the files' lines in monospace as written, why
// a file could not be read in their place, and Esc closing it.
#include "app/qt/details_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <chrono>

namespace velmoth::qt {
namespace {

// Dates written so that a test can tell which date went where.
QString SecondsText(FileDate date) {
  return QStringLiteral("at %1").arg(date.time_since_epoch().count());
}

// What the operator copies from the text control named `name`, all of it selected.
QString Copied(QDialog& dialog, const char* name) {
  QWidget* control = dialog.findChild<QWidget*>(QString::fromLatin1(name));
  if (control == nullptr) return QStringLiteral("(no control %1)").arg(name);
  QApplication::clipboard()->clear();
  if (auto* field = qobject_cast<QLineEdit*>(control)) {
    field->selectAll();
    field->copy();
  } else if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
    box->selectAll();
    box->copy();
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setFocus();
    label->setSelection(0, static_cast<int>(label->text().size()));
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
  }
  return QApplication::clipboard()->text();
}

bool Shown(QDialog& dialog, const char* name) {
  return dialog.findChild<QWidget*>(QString::fromLatin1(name))->isVisible();
}

TEST(DetailsDialog, EveryFieldCanBeCopiedTheFilesInMonospaceAndEscCloses) {
  MessageDetails details;
  details.name = "20261207-1.EML";
  details.header = MessageHeader{
      "Jörg <j@example.org>",           "bob@example.net",     "cc@example.net", "Rates & fees",
      "Mon, 7 Dec 2026 08:00:00 +0100", "<1@mail.example.org>"};
  details.size = 20480;
  details.messageDate = FileDate(std::chrono::seconds(1765000000));
  details.commandDate = FileDate(std::chrono::seconds(1765000100));
  details.commandLines = "Status=Failed\nRetries=5\n";
  details.headerBlock = "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\nSubject: Rates & fees\n";
  DetailsDialog dialog(details, SecondsText);
  dialog.show();
  const struct {
    const char* name;
    QString shown;
  } texts[] = {
      {"name", "20261207-1.EML"},
      {"from", "Jörg <j@example.org>"},
      {"to", "bob@example.net"},
      {"cc", "cc@example.net"},
      {"subject", "Rates & fees"},
      {"date", "Mon, 7 Dec 2026 08:00:00 +0100"},
      {"messageId", "<1@mail.example.org>"},
      {"size", "20480 bytes"},
      {"messageDate", "at 1765000000"},
      {"commandDate", "at 1765000100"},
      {"commandLines", "Status=Failed\nRetries=5\n"},
      {"headerBlock", "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\nSubject: Rates & fees\n"},
  };
  for (const auto& text : texts) EXPECT_EQ(Copied(dialog, text.name), text.shown) << text.name;
  for (const char* name : {"commandLines", "headerBlock"}) {
    const auto* box = dialog.findChild<QPlainTextEdit*>(QString::fromLatin1(name));
    EXPECT_TRUE(box->isReadOnly()) << name;
    EXPECT_TRUE(QFontInfo(box->font()).fixedPitch()) << name;
  }
  EXPECT_FALSE(Shown(dialog, "commandProblem") || Shown(dialog, "messageProblem"));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(DetailsDialog, AFileThatCouldNotBeReadIsToldInPlaceOfItsLines) {
  const struct {
    const char* what;
    const char* problem;
    const char* lines;
  } files[] = {{"command file", "commandProblem", "commandLines"},
               {"message file", "messageProblem", "headerBlock"}};
  MessageDetails details;
  details.name = "gone.EML";
  details.commandProblem = "The file is no longer there.";
  details.messageProblem = "The file cannot be read: Permission denied (error 13)";
  DetailsDialog dialog(details, SecondsText);
  dialog.show();
  for (const auto& file : files) {
    SCOPED_TRACE(file.what);
    EXPECT_TRUE(Shown(dialog, file.problem));
    EXPECT_FALSE(Shown(dialog, file.lines));
  }
  EXPECT_EQ(Copied(dialog, "commandProblem"), "The file is no longer there.");
  EXPECT_EQ(Copied(dialog, "messageProblem"),
            "The file cannot be read: Permission denied (error 13)");
  for (const char* name : {"from", "size", "messageDate", "commandDate"}) {
    EXPECT_EQ(Copied(dialog, name), "") << name;
  }
}

}  // namespace
}  // namespace velmoth::qt
