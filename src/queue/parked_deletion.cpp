// Deletes parked messages row by row: both files opened, the command file read
// to see the server is not sending it, both deleted as opened, message file
// first; Bad Mail's two directories flushed after each batch.
#include "queue/parked_deletion.h"

#include <memory>

#include "queue/command_file.h"

namespace velmoth {
namespace {

FileError ReadOnlyError(InputFile& command) {
  return FileError(ErrorKind::kReadOnly, kErrorAccessDenied,
                   "A file of the message is read-only; neither is deleted",
                   PathText(command.path()));
}

class Deleter {
 public:
  Deleter(const std::vector<std::string>& names, const DeletionOptions& options, FileSystem& files,
          const QueueLocations& locations)
      : options_(options), files_(files), locations_(locations) {
    for (const std::string& name : names) rows_.push_back({name, DeletionOutcome::kNotTried, {}});
  }

  std::vector<DeletionRow> Run();

 private:
  void Delete(DeletionRow& row);
  // The parked file `name` of `dir`: null when there is none, or when the row is
  // settled for it.
  std::unique_ptr<InputFile> Open(Directory* dir, DeletionRow& row);
  void Flush(std::size_t batchStart);

  const DeletionOptions& options_;
  FileSystem& files_;
  const QueueLocations& locations_;
  std::vector<DeletionRow> rows_;
  OpenedQueue parked_;
  bool stopped_ = false;
};

std::vector<DeletionRow> Deleter::Run() {
  if (rows_.empty()) return {};
  try {
    parked_ = OpenQueue(files_, locations_, Queue::kBadMail);
  } catch (const FileError& error) {
    rows_.front().outcome = DeletionOutcome::kFailed;
    rows_.front().error = error;
    return std::move(rows_);
  }
  const std::size_t batch = std::max<std::size_t>(1, options_.batchRows);
  for (std::size_t start = 0; start < rows_.size() && !stopped_; start += batch) {
    const std::size_t end = std::min(rows_.size(), start + batch);
    for (std::size_t row = start; row < end && !stopped_; ++row) Delete(rows_[row]);
    if (!options_.dryRun) Flush(start);
    if (options_.progress) options_.progress(end, rows_.size());
  }
  return std::move(rows_);
}

void Deleter::Delete(DeletionRow& row) {
  try {
    std::unique_ptr<InputFile> command = Open(parked_.commands.get(), row);
    if (!command) return;
    // A row may be a command file whose message file is gone: that goes alone.
    std::unique_ptr<InputFile> message;
    if (parked_.messages) {
      message = Open(parked_.messages.get(), row);
      if (row.outcome == DeletionOutcome::kGone) row.outcome = DeletionOutcome::kNotTried;
      if (row.outcome != DeletionOutcome::kNotTried) return;
    }
    const auto sending = [&command] {
      command->Rewind();
      return ReadCommandFileVerdict(*command) == CommandFileVerdict::kSpooling;
    };
    if (sending()) {
      row.outcome = DeletionOutcome::kSpooling;
      return;
    }
    if (options_.dryRun) {
      const bool readOnly = command->Status().readOnly || (message && message->Status().readOnly);
      row.outcome = readOnly ? DeletionOutcome::kFailed : DeletionOutcome::kWouldDelete;
      if (readOnly) row.error = ReadOnlyError(*command);
      return;
    }
    std::vector<OpenedFile> opened;
    if (message) opened.push_back({*parked_.messages, row.name, *message});
    opened.push_back({*parked_.commands, row.name, *command});
    switch (files_.DeleteOpened(opened, [&sending] { return !sending(); })) {
      case DeleteOutcome::kDeleted:
        row.outcome = DeletionOutcome::kDeleted;
        break;
      case DeleteOutcome::kGone:
        row.outcome = DeletionOutcome::kGone;
        break;
      case DeleteOutcome::kChanged:
        row.outcome = DeletionOutcome::kFailed;
        row.error = FileError(ErrorKind::kBusy, kErrorAccessDenied,
                              "The server changed the message while it was being deleted; it "
                              "was kept",
                              PathText(command->path()));
        break;
      case DeleteOutcome::kReadOnly:
        row.outcome = DeletionOutcome::kFailed;
        row.error = ReadOnlyError(*command);
        break;
    }
  } catch (const FileError& error) {
    row.outcome = DeletionOutcome::kFailed;
    row.error = error;
    stopped_ = true;
  }
}

std::unique_ptr<InputFile> Deleter::Open(Directory* dir, DeletionRow& row) {
  const Access access = options_.dryRun ? Access::kRead : Access::kReadAndDelete;
  try {
    return dir->Open(row.name, access);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) {
      row.outcome = DeletionOutcome::kGone;
    } else if (IsLinkOrNotRegular(error)) {
      row.outcome = DeletionOutcome::kNotRegular;
    } else {
      throw;
    }
  }
  return nullptr;
}

void Deleter::Flush(std::size_t batchStart) {
  try {
    if (parked_.messages) parked_.messages->FlushNames();
    parked_.commands->FlushNames();
  } catch (const FileError& error) {
    // The files are gone, but a power loss may bring them back: that is said,
    // and nothing more is deleted.
    DeletionRow& first = rows_[batchStart];
    if (!first.error) first.error = error;
    stopped_ = true;
  }
}

}  // namespace

std::vector<DeletionRow> DeleteParked(const std::vector<std::string>& names,
                                      const DeletionOptions& options, FileSystem& files,
                                      const QueueLocations& locations) {
  return Deleter(names, options, files, locations).Run();
}

}  // namespace velmoth
