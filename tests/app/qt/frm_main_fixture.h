// What the tests of the Qt frmMain share: a window on a scratch mail server, its
// controls by name, and the message boxes it shows answered as an operator would.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/qt/frm_main.h"
#include "support/mail_list_rows.h"
#include "support/mail_server.h"

// Qt's texts and keys in test failures as they read.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
inline void PrintTo(const QKeySequence& key, std::ostream* out) {
  *out << key.toString().toStdString();
}

namespace velmoth::qt {

inline constexpr char kParked[] = "Status=Failed\r\nRetries=5\r\nServer=mx1.example.net\r\n";

inline QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Answers every message box that opens while it lives with `answer`, noting
// what it showed.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) continue;
        seen.push_back({box->windowTitle(), box->text(), box->icon()});
        box->button(answer)->click();
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
  QMessageBox::StandardButton answer = QMessageBox::Ok;

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
  T* Control(std::string_view name) {
    T* control = window->findChild<T*>(Latin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  void Click(std::string_view button) {
    QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton);
  }
  MailModel& model() { return window->model(); }
  const MailList& list() { return model().list(); }
  void Tick(const std::string& name) {
    const int row = static_cast<int>(testing::RowOf(list(), name));
    model().setData(model().index(row, 0), Qt::Checked, Qt::CheckStateRole);
  }
  void DoubleClickRow(std::size_t position) {
    auto* view = Control<QTreeView>("lvwMail");
    const QRect cell =
        view->visualRect(model().index(static_cast<int>(position), form::ColumnIndex("File size")));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
  }

  testing::MailServer server;
  MessageBoxWatcher boxes;
  std::unique_ptr<FrmMain> window;
};

// A viewer standing in for xdg-open that writes its arguments, one a line, to a file.
class ViewerTest : public FrmMainTest {
 protected:
  void SetUp() override {
    savedPath_ = getenv("PATH");
    const std::filesystem::path bin = server.root() / "bin";
    std::filesystem::create_directories(bin);
    testing::WriteFile(
        bin / "xdg-open",
        "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.log\"\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  // The viewer's arguments, once it has run.
  std::string Recorded() {
    const std::filesystem::path log = server.root() / "bin" / "xdg-open.log";
    for (int wait = 0; wait < 500 && !std::filesystem::exists(log); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return testing::ReadFile(log);
  }

  std::string savedPath_;
};

}  // namespace velmoth::qt
