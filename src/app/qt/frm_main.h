// frmMain, the program's one window, drawn with Qt Widgets: it lays out the
// controls, forwards their events to the shared handlers and provides the
// window services they need (selection, hourglass, message box, viewer, delete
// option, closing).
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "app/qt/mail_model.h"

class QCheckBox;
class QTreeView;

namespace velmoth::qt {

// The program that shows a message file: started by name, given the path as its one argument.
inline constexpr char kViewer[] = "xdg-open";

class FrmMain final : public QWidget, public WindowServices {
 public:
  // `log`, when there is one, takes the trail of every requeue and deletion.
  explicit FrmMain(SystemLog* log = nullptr, QWidget* parent = nullptr);
  ~FrmMain() override;

  // Fills the list; runs once before the window is first shown.
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
  void ShowMessage(QMessageBox::Icon icon, const std::string& message);
  void FitFont();

  NativeFileSystem files_;
  RegistryQueueLocations locations_;
  MailModel model_;
  MainWindowHandlers handlers_;

  QTreeView* lvwMail_ = nullptr;
  QCheckBox* chkDelete_ = nullptr;
  int busyDepth_ = 0;
};

}  // namespace velmoth::qt
