// The window's event handlers, written once for every front end: each view
// draws the controls and forwards its events here.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/form.h"
#include "app/mail_list.h"
#include "time/utc_stamp.h"

namespace velmoth {

// What the handlers need of the window beside the list's rows.
class WindowServices {
 public:
  virtual ~WindowServices() = default;
  // The position of the list's selected row, if one is.
  virtual std::optional<std::size_t> SelectedRow() const = 0;
  // The hourglass over the whole application while a scan or requeue runs, or
  // the arrow back. Calls nest: the arrow is back when each hourglass is.
  virtual void SetBusyPointer(bool busy) = 0;
  // Whether "Delete from Bad Mail after copy" is ticked.
  virtual bool IsDeleteTicked() const = 0;
  // A message box captioned form::kCaption with an error icon.
  virtual void ShowError(const std::string& message) = 0;
  // A message box captioned form::kCaption with an information icon.
  virtual void ShowNotice(const std::string& message) = 0;
  // Opens the file in the text viewer without waiting; a FileError when it cannot.
  virtual void StartViewer(const std::filesystem::path& file) = 0;
  // Closes the window, which ends the program.
  virtual void Close() = 0;
};

// Shows the hourglass for as long as it lives.
class BusyPointer {
 public:
  explicit BusyPointer(WindowServices& window) : window_(window) { window_.SetBusyPointer(true); }
  ~BusyPointer() { window_.SetBusyPointer(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  WindowServices& window_;
};

// The text of the message box for a failure.
std::string ErrorMessage(const FileError& error);
// The message for the files a scan could not read; empty when there are none.
std::string UnreadableMessage(const UnreadableFiles& unreadable);
// The message for the rows a requeue put in the outbound queue but kept in Bad
// Mail, by name; empty when there are none.
std::string KeptMessage(const std::vector<RequeueRow>& rows);
// The message for the rows a requeue skipped or kept; empty when there are none.
std::string SkippedMessage(const std::vector<RequeueRow>& rows);

class MainWindowHandlers {
 public:
  MainWindowHandlers(MailList& list, WindowServices& window, FileSystem& files,
                     const QueueLocations& locations, Clock clock = SystemClock);

  void Form_Load();
  void cmdAll_Click();
  void cmdNone_Click();
  void cmdCopy_Click();
  void lvwMail_DblClick();
  void cmdQuit_Click();

  // The tooltip of the list's row at `position`: its MessageTip, read now.
  std::string RowTip(std::size_t position) const;

 private:
  // Runs a command; a failure is shown to the operator and the window stays.
  void Guarded(const std::function<void()>& command);
  // Shows `error`, with what to do about a queue directory that refused us.
  void ShowError(const FileError& error);
  // Rebuilds the list and tells of the files the scan could not read.
  void Refresh();
  void TickAll(bool ticked);

  MailList& list_;
  WindowServices& window_;
  FileSystem& files_;
  const QueueLocations& locations_;
  Clock clock_;
};

// The handler that a click on each button of the form runs.
struct ClickHandler {
  std::string_view button;
  void (MainWindowHandlers::*click)();
};
inline constexpr ClickHandler kClickHandlers[] = {
    {"cmdNone", &MainWindowHandlers::cmdNone_Click},
    {"cmdAll", &MainWindowHandlers::cmdAll_Click},
    {"cmdCopy", &MainWindowHandlers::cmdCopy_Click},
    {"cmdQuit", &MainWindowHandlers::cmdQuit_Click},
};

}  // namespace velmoth
