// frmMain, the program's one window, drawn with Qt Widgets: it lays out the
// controls, forwards their events, its list's context menu and its keys to the
// shared handlers and provides the window services they need (selection,
// hourglass, message boxes, viewer, delete option, closing, the details and tick
// matching dialogs). Its list follows the Bad Mail directory it was read from.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "app/qt/bad_mail_follower.h"
#include "app/qt/mail_model.h"

class QCheckBox;
class QDialog;
class QTreeView;

namespace velmoth::qt {

class TickMatchingDialog;

// The program that shows a message file: started by name, given the path as its one argument.
inline constexpr char kViewer[] = "xdg-open";

class FrmMain final : public QWidget, public WindowServices {
 public:
  // `log`, when there is one, takes the trail of every requeue and deletion.
  explicit FrmMain(SystemLog* log = nullptr, QWidget* parent = nullptr);
  ~FrmMain() override;

  // Fills the list and begins to follow Bad Mail; runs once before the window is
  // first shown.
  void Form_Load();

  MailModel& model() { return model_; }

  // WindowServices.
  std::optional<std::size_t> SelectedRow() const override;
  void SetBusyPointer(bool busy) override;
  bool IsDeleteTicked() const override;
  void ShowError(const std::string& message) override;
  void ShowNotice(const std::string& message) override;
  void StartViewer(const std::filesystem::path& file) override;
  void Close() override;
  bool Confirm(const std::string& question) override;
  void ShowDetails(const MessageDetails& details) override;
  void ShowTickMatching() override;

 private:
  void CreateControls();
  // One control of the form, not yet named or placed.
  QWidget* NewControl(const form::Control& control);
  QTreeView* NewList();
  // The list's context menu, whose entries' keys work while the list has the
  // focus, and F5 anywhere in the window.
  void CreateCommands();
  void ShowMessage(QMessageBox::Icon icon, const std::string& message);
  // Runs a dialog to its end; the time it waits on the operator is noted.
  int RunModal(QDialog& dialog);
  void FitFont();

  // Runs a handler, then follows the directory it may have read the list from.
  void Run(void (MainWindowHandlers::*handler)());
  // F5: the watch made anew, so that a Bad Mail directory that was missing is
  // followed once it is there, then the whole directory read again.
  void RefreshNow();
  // Where the registry puts Bad Mail now, for a watch made before a scan.
  std::optional<std::filesystem::path> BadMailNow() const;
  // Follows the directory the list was last read from, if the watch is not on
  // it already; the list was read first, so the first update reads it again.
  void FollowListedDirectory();
  // Tells, once a window, that Bad Mail cannot be followed.
  void TellFollowFailure();
  // The update for what the watch saw change; the time its own work took.
  std::chrono::milliseconds TakeChanges(const QueueChanges& changes);

  NativeFileSystem files_;
  RegistryQueueLocations locations_;
  MailModel model_;
  MainWindowHandlers handlers_;
  BadMailFollower follower_;

  QTreeView* lvwMail_ = nullptr;
  QCheckBox* chkDelete_ = nullptr;
  TickMatchingDialog* tickMatching_ = nullptr;
  int busyDepth_ = 0;
  bool followFailureTold_ = false;
  // How long the window's dialogs have waited on the operator in all.
  std::chrono::steady_clock::duration operatorTime_{};
};

}  // namespace velmoth::qt
