// The window's event handlers. A failing command is reported and stopped; the
// window stays open, so the operator never loses it to a file the server held.
#include "app/main_window.h"

#include <exception>

#include "app/message_tip.h"
#include "queue/access_advice.h"

namespace velmoth {

const char* KeptReasonText(KeptReason reason) {
  switch (reason) {
    case KeptReason::kNotFlushed:
      return "the outbound queue could not be flushed";
    case KeptReason::kChanged:
      return "the server changed them meanwhile";
    case KeptReason::kReadOnly:
      return "a parked file is read-only";
    case KeptReason::kDeleteFailed:
      break;
  }
  return "they could not be deleted";
}

std::string ErrorMessage(const FileError& error) {
  return "Error " + std::to_string(error.number()) + ": " + error.description() + "\n\n" +
         error.path();
}

std::string UnreadableMessage(const UnreadableFiles& unreadable) {
  if (unreadable.count == 0) return {};
  const std::string count = std::to_string(unreadable.count);
  const std::string head =
      unreadable.count == 1
          ? "1 file in the Bad Mail directory could not be read and is not listed:"
          : count +
                " files in the Bad Mail directory could not be read and are not listed. "
                "The first:";
  return head + "\n\n" + ErrorMessage(*unreadable.first);
}

std::string KeptMessage(const std::vector<RequeueRow>& rows) {
  constexpr std::size_t kNamed = 10;
  std::string names;
  std::size_t kept = 0;
  for (const RequeueRow& row : rows) {
    if (row.outcome != RequeueOutcome::kRequeuedNotDeleted) continue;
    if (kept++ < kNamed) names += "\n" + row.name + " (" + KeptReasonText(*row.kept) + ")";
  }
  if (kept == 0) return {};
  if (kept > kNamed) names += "\nand " + std::to_string(kept - kNamed) + " more";
  return std::string(kept == 1 ? "1 message was" : std::to_string(kept) + " messages were") +
         " requeued, but their parked files were kept in the Bad Mail directory. Do not requeue "
         "them again:" +
         names;
}

std::string SkippedMessage(const std::vector<RequeueRow>& rows) {
  std::size_t noLongerCandidates = 0;
  std::size_t outboundSpooling = 0;
  std::size_t gone = 0;
  std::size_t kept = 0;
  for (const RequeueRow& row : rows) {
    noLongerCandidates += row.outcome == RequeueOutcome::kNoLongerCandidate;
    outboundSpooling += row.outcome == RequeueOutcome::kOutboundSpooling;
    gone += row.outcome == RequeueOutcome::kGone;
    kept += row.outcome == RequeueOutcome::kRequeuedNotDeleted;
  }
  if (noLongerCandidates + outboundSpooling + gone + kept == 0) return {};
  // "1 is" or "2 are": appended piece by piece, as the lines are put together.
  const auto append = [](std::string& text, std::size_t n, const char* one, const char* many) {
    text += std::to_string(n);
    text += ' ';
    text += n == 1 ? one : many;
  };
  std::string message = KeptMessage(rows);
  if (noLongerCandidates + outboundSpooling + gone == 0) return message;
  if (!message.empty()) message += "\n\n";
  append(message, noLongerCandidates + outboundSpooling + gone, "message was", "messages were");
  message += " skipped and left as they are:";
  if (noLongerCandidates > 0) {
    message += '\n';
    append(message, noLongerCandidates, "is no longer a requeue candidate",
           "are no longer requeue candidates");
    message += " (the server has begun to send it again, or it is a non-delivery report)";
  }
  if (outboundSpooling > 0) {
    message += '\n';
    append(message, outboundSpooling, "is being sent by the server from the outbound queue",
           "are being sent by the server from the outbound queue");
  }
  if (gone > 0) {
    message += '\n';
    append(message, gone, "is no longer in the Bad Mail directory",
           "are no longer in the Bad Mail directory");
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
    const std::string unreadable = UnreadableMessage(RefreshMailList(list_, files_, locations_));
    if (!unreadable.empty()) window_.ShowError(unreadable);
  });
}

void MainWindowHandlers::Form_Load() { Refresh(); }

void MainWindowHandlers::TickAll(bool ticked) {
  const int rows = list_.RowCount();
  for (int row = 1; row <= rows; ++row) list_.SetTicked(row, ticked);
}

void MainWindowHandlers::cmdAll_Click() { TickAll(true); }

void MainWindowHandlers::cmdNone_Click() { TickAll(false); }

void MainWindowHandlers::cmdCopy_Click() {
  Guarded([this] {
    const std::vector<RequeueRow> rows =
        RequeueChecked(list_, window_.IsDeleteTicked(), files_, locations_, clock_);
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
  const int row = list_.SelectedRow();
  if (row == 0) return;
  Guarded([this, row] {
    const std::string name = list_.RowText(row);
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

std::string MainWindowHandlers::RowTip(int row) const {
  return MessageTip(files_, locations_, list_.RowText(row));
}

}  // namespace velmoth
