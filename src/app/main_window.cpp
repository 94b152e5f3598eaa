// The window's event handlers. A failing command is reported and stopped; the
// window stays open, so the operator never loses it to a file the server held.
#include "app/main_window.h"

#include <exception>

#include "queue/bad_mail_scan.h"
#include "queue/queue_paths.h"
#include "queue/requeue.h"

namespace velmoth {

std::string ErrorMessage(const FileError& error) {
  return "Error " + std::to_string(error.number()) + ": " + error.description() + "\n\n" +
         error.path();
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

void MainWindowHandlers::Form_Load() {
  Guarded([this] { RefreshMailList(list_, files_); });
}

void MainWindowHandlers::TickAll(bool ticked) {
  const int rows = list_.RowCount();
  for (int row = 1; row <= rows; ++row) list_.SetTicked(row, ticked);
}

void MainWindowHandlers::cmdAll_Click() { TickAll(true); }

void MainWindowHandlers::cmdNone_Click() { TickAll(false); }

void MainWindowHandlers::cmdCopy_Click() {
  // The list is rebuilt after a failed requeue too: it shows what is on disk now.
  Guarded([this] { RequeueChecked(list_, window_.IsDeleteTicked(), files_, clock_); });
  Guarded([this] { RefreshMailList(list_, files_); });
}

void MainWindowHandlers::lvwMail_DblClick() {
  const int row = list_.SelectedRow();
  if (row == 0) return;
  Guarded(
      [this, row] { window_.StartViewer(MessageFilePath(Queue::kBadMail, list_.RowText(row))); });
}

void MainWindowHandlers::cmdQuit_Click() { window_.Close(); }

}  // namespace velmoth
