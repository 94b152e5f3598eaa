// The window's event handlers. A failing command is reported and stopped; the
// window stays open, so the operator never loses it to a file the server held.
#include "app/main_window.h"

#include <exception>

#include "app/message_tip.h"
#include "queue/queue_paths.h"

namespace velmoth {

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

std::string SkippedMessage(const std::vector<RequeueRow>& rows) {
  std::size_t noLongerCandidates = 0;
  std::size_t gone = 0;
  for (const RequeueRow& row : rows) {
    noLongerCandidates += row.outcome == RequeueOutcome::kNoLongerCandidate;
    gone += row.outcome == RequeueOutcome::kGone;
  }
  if (noLongerCandidates + gone == 0) return {};
  // "1 is" or "2 are": appended piece by piece, as the lines are put together.
  const auto append = [](std::string& text, std::size_t n, const char* one, const char* many) {
    text += std::to_string(n);
    text += ' ';
    text += n == 1 ? one : many;
  };
  std::string message;
  append(message, noLongerCandidates + gone, "message was", "messages were");
  message += " skipped and left as they are:";
  if (noLongerCandidates > 0) {
    message += '\n';
    append(message, noLongerCandidates, "is no longer a requeue candidate",
           "are no longer requeue candidates");
    message += " (the server has begun to send it again, or it is a non-delivery report)";
  }
  if (gone > 0) {
    message += '\n';
    append(message, gone, "is no longer in the Bad Mail directory",
           "are no longer in the Bad Mail directory");
  }
  return message;
}

MainWindowHandlers::MainWindowHandlers(MailList& list, WindowServices& window, FileSystem& files,
                                       Clock clock)
    : list_(list), window_(window), files_(files), clock_(std::move(clock)) {}

void MainWindowHandlers::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const FileError& error) {
    window_.ShowError(ErrorMessage(error));
  } catch (const std::exception& error) {
    window_.ShowError(error.what());
  }
}

void MainWindowHandlers::Refresh() {
  Guarded([this] {
    const std::string unreadable = UnreadableMessage(RefreshMailList(list_, files_));
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
        RequeueChecked(list_, window_.IsDeleteTicked(), files_, clock_);
    for (const RequeueRow& row : rows) {
      if (row.error) window_.ShowError(ErrorMessage(*row.error));
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
  Guarded(
      [this, row] { window_.StartViewer(MessageFilePath(Queue::kBadMail, list_.RowText(row))); });
}

void MainWindowHandlers::cmdQuit_Click() { window_.Close(); }

std::string MainWindowHandlers::RowTip(int row) const {
  return MessageTip(files_, list_.RowText(row));
}

}  // namespace velmoth
