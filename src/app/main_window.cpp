// The window's event handlers. A failing command is reported and stopped; the
// window stays open, so the operator never loses it to a file the server held.
#include "app/main_window.h"

#include <exception>
#include <iterator>
#include <numeric>

#include "app/message_tip.h"
#include "queue/access_advice.h"
#include "queue/outcome_text.h"

namespace velmoth {

std::string ErrorMessage(const FileError& error) {
  return "Error " + std::to_string(error.number()) + ": " + error.description() + "\n\n" +
         error.path();
}

std::string UnreadableMessage(const UnreadableFiles& unreadable) {
  if (unreadable.count == 0) return {};
  return UnreadableText(unreadable.count) + (unreadable.count == 1 ? ":" : ". The first:") +
         "\n\n" + ErrorMessage(*unreadable.first);
}

std::string KeptMessage(const std::vector<RequeueRow>& rows) {
  constexpr std::size_t kNamed = 10;
  std::string names;
  std::size_t kept = 0;
  for (const RequeueRow& row : rows) {
    if (row.outcome != RequeueOutcome::kRequeuedNotDeleted) continue;
    if (kept++ < kNamed) names += "\n" + row.name + " (" + KeptText(*row.kept) + ")";
  }
  if (kept == 0) return {};
  if (kept > kNamed) names += "\nand " + std::to_string(kept - kNamed) + " more";
  const bool one = kept == 1;
  return (one ? "1 message was" : std::to_string(kept) + " messages were") + " requeued, but " +
         kKeptInBadMail.For(kept) + ". Do not requeue " + (one ? "it" : "them") + " again:" + names;
}

std::string SkippedMessage(const std::vector<RequeueRow>& rows) {
  // The outcomes skipped, in the order the message tells them.
  constexpr RequeueOutcome kSkipped[] = {RequeueOutcome::kNoLongerCandidate,
                                         RequeueOutcome::kOutboundSpooling, RequeueOutcome::kGone};
  std::size_t counts[std::size(kSkipped)] = {};
  for (const RequeueRow& row : rows) {
    for (std::size_t i = 0; i < std::size(kSkipped); ++i) counts[i] += row.outcome == kSkipped[i];
  }
  std::string message = KeptMessage(rows);
  const std::size_t skipped = std::accumulate(std::begin(counts), std::end(counts), std::size_t{0});
  if (skipped == 0) return message;
  if (!message.empty()) message += "\n\n";
  // Appended piece by piece: "1 is" or "2 are" and what became of them.
  message += std::to_string(skipped);
  message += skipped == 1 ? " message was" : " messages were";
  message += " skipped and left as they are:";
  for (std::size_t i = 0; i < std::size(kSkipped); ++i) {
    if (counts[i] == 0) continue;
    message += '\n';
    message += std::to_string(counts[i]);
    message += counts[i] == 1 ? " is " : " are ";
    message += SkippedText(kSkipped[i])->For(counts[i]);
  }
  return message;
}

MainWindowHandlers::MainWindowHandlers(MailList& list, WindowServices& window, FileSystem& files,
                                       const QueueLocations& locations, Clock clock)
    : list_(list),
      window_(window),
      files_(files),
      locations_(locations),
      clock_(std::move(clock)) {}

void MainWindowHandlers::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const FileError& error) {
    ShowError(error);
  } catch (const std::exception& error) {
    window_.ShowError(error.what());
  }
}

void MainWindowHandlers::ShowError(const FileError& error) {
  const std::string advice = AccessAdvice(error, files_, locations_, form::kCaption);
  window_.ShowError(ErrorMessage(error) + (advice.empty() ? "" : "\n\n" + advice));
}

void MainWindowHandlers::Refresh() {
  Guarded([this] {
    // The hourglass is gone before a message box comes up.
    const UnreadableFiles unreadable = [this] {
      BusyPointer busy(window_);
      return RefreshMailList(list_, files_, locations_);
    }();
    const std::string message = UnreadableMessage(unreadable);
    if (!message.empty()) window_.ShowError(message);
  });
}

void MainWindowHandlers::Form_Load() { Refresh(); }

void MainWindowHandlers::TickAll(bool ticked) {
  list_.TickWhere([](const BadMailEntry&) { return true; }, ticked);
}

void MainWindowHandlers::cmdAll_Click() { TickAll(true); }

void MainWindowHandlers::cmdNone_Click() { TickAll(false); }

void MainWindowHandlers::cmdCopy_Click() {
  Guarded([this] {
    const std::vector<RequeueRow> rows = [this] {
      BusyPointer busy(window_);
      return RequeueChecked(list_, window_.IsDeleteTicked(), files_, locations_, clock_);
    }();
    for (const RequeueRow& row : rows) {
      if (row.error) ShowError(*row.error);
    }
    const std::string skipped = SkippedMessage(rows);
    if (!skipped.empty()) window_.ShowNotice(skipped);
  });
  // The list is rebuilt after a failed requeue too: it shows what is on disk now.
  Refresh();
}

void MainWindowHandlers::lvwMail_DblClick() {
  const std::optional<std::size_t> row = window_.SelectedRow();
  if (!row) return;
  Guarded([this, row] {
    const std::string name = list_[*row].entry.name;
    // The viewer opens the file by its path: it must be a regular file reached
    // without a link below the queue directory.
    const OpenedQueue parked = OpenQueue(files_, locations_, Queue::kBadMail);
    if (!parked.messages) {
      throw FileError(ErrorKind::kNotFound, kErrorNotFound, "The message file is no longer there",
                      PathText(parked.commands->path() / kMessagesDirectory));
    }
    parked.messages->Open(name, Access::kRead);
    window_.StartViewer(parked.messages->path() / PathFromText(name));
  });
}

void MainWindowHandlers::cmdQuit_Click() { window_.Close(); }

std::string MainWindowHandlers::RowTip(std::size_t position) const {
  return MessageTip(files_, locations_, list_[position].entry.name);
}

}  // namespace velmoth
