// The window's event handlers, written once for every front end: each view
// draws the controls and forwards its events here.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "app/form.h"
#include "app/mail_list.h"
#include "log/trail.h"
#include "queue/message_details.h"
#include "queue/parked_deletion.h"
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
  // A question captioned form::kCaption with OK and Cancel, Cancel the default;
  // true for OK.
  virtual bool Confirm(const std::string& question) = 0;
  // The details of one message in a dialog of their own, its text selectable.
  virtual void ShowDetails(const MessageDetails& details) = 0;
  // Opens the tick matching dialog, which calls MainWindowHandlers::TickMatching.
  virtual void ShowTickMatching() = 0;
};

// What the tick matching dialog asks: a text in a field, and the command files'
// dates from `after` on and before `before`, each as typed, empty for none.
struct MatchRequest {
  enum class Field { kAny, kFrom, kToOrCc, kSubject };
  Field field = Field::kAny;
  std::string text;
  std::string after;
  std::string before;
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
// The message for the rows a deletion kept; empty when there are none.
std::string NotDeletedMessage(const std::vector<DeletionRow>& rows);
// The question before a deletion of the ticked rows, or of the one selected.
std::string DeleteQuestion(std::size_t ticked, const std::string& selected);

class MainWindowHandlers {
 public:
  // `log`, when there is one, takes the trail of every requeue and deletion.
  MainWindowHandlers(MailList& list, WindowServices& window, FileSystem& files,
                     const QueueLocations& locations, SystemLog* log = nullptr,
                     Clock clock = SystemClock);

  void Form_Load();
  void cmdAll_Click();
  void cmdNone_Click();
  void cmdCopy_Click();
  void lvwMail_DblClick();
  void cmdQuit_Click();

  // The list's context menu and keys (kContextMenu, kRefreshKey).
  // Deletes the ticked rows' messages from Bad Mail, or with none ticked the
  // selected row's, once the operator said so.
  void DeleteFromBadMail();
  // Shows the selected row's details, read now.
  void ShowDetails();
  void OpenTickMatching();
  // Ticks (or unticks) the rows whose message matches, and says how many did:
  // "Ticked 37 of 5,012 rows"; or why the request is not understood.
  std::string TickMatching(const MatchRequest& request, bool tick);
  // Reads the whole Bad Mail directory again now; ticks stay with their rows.
  void RefreshNow();

  // What the watcher saw change in Bad Mail: the rows of `names` read again, or
  // with `rescan` every row. No hourglass: it runs while the operator works.
  void ParkedChanged(const std::set<std::string>& names, bool rescan);

  // The Bad Mail directory the rows were last read from as a whole, which the
  // view's watcher is to follow; nothing when the registry named none.
  const std::optional<std::filesystem::path>& ListedFrom() const { return listedFrom_; }

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
  // Where the registry puts Bad Mail now; nothing when it puts it nowhere.
  std::optional<std::filesystem::path> BadMailNow() const;
  // Reads the whole directory again, the rows keeping their ticks; tells what it
  // could not read only when asked.
  void Reread(bool tellUnreadable);
  // Reads the rows of `names` again; every tick goes, as after a rebuild.
  void UpdateRows(const std::vector<std::string>& names);
  void Log(const RunRecord& run);

  MailList& list_;
  WindowServices& window_;
  FileSystem& files_;
  const QueueLocations& locations_;
  SystemLog* log_;
  bool logFailureShown_ = false;
  // The Bad Mail directory the rows were last read from as a whole.
  std::optional<std::filesystem::path> listedFrom_;
  Clock clock_;
};

// The list's context menu, in its order, and each entry's key, as both views
// show it; the views map the key names to their key codes.
struct MenuCommand {
  std::string_view caption;
  std::string_view key;  // "Delete", "Alt+Enter", "Ctrl+F"; empty for none
  void (MainWindowHandlers::*run)();
};
inline constexpr MenuCommand kContextMenu[] = {
    {"View message", "", &MainWindowHandlers::lvwMail_DblClick},
    {"Delete from Bad Mail\u2026", "Delete", &MainWindowHandlers::DeleteFromBadMail},
    {"Details\u2026", "Alt+Enter", &MainWindowHandlers::ShowDetails},
    {"Tick matching\u2026", "Ctrl+F", &MainWindowHandlers::OpenTickMatching},
};
// The key that reads Bad Mail again at once.
inline constexpr MenuCommand kRefreshKey = {"", "F5", &MainWindowHandlers::RefreshNow};

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
