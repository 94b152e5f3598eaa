// Copies parked messages into the outbound queue with their delivery state reset,
// a batch of rows at a time: every row's two files are written under temporary
// names, flushed together, renamed into place message files first with a flush
// after each kind, and only then are the parked files deleted.
#include "queue/requeue.h"

#include <algorithm>
#include <memory>
#include <system_error>

#include "queue/command_file.h"
#include "queue/queue_paths.h"

namespace velmoth {
namespace {

// A failure and the row it stops the requeue at.
struct RowFailure {
  std::size_t row;
  FileError error;
};

// One row written under temporary names, waiting for its batch to be committed.
struct PreparedRow {
  std::size_t row;
  fs::path parkedMessage;
  fs::path parkedCommand;
  fs::path outboundMessage;
  fs::path outboundCommand;
  fs::path messageTemporary;
  fs::path commandTemporary;
  // The parked files as they were read: only these very files may be deleted.
  FileIdentity messageRead;
  FileIdentity commandRead;
};

// Whether `inner` is `outer` or lies somewhere inside it, by the identity of the
// directories, whatever links lead to them.
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  std::error_code failed;
  fs::path path = fs::canonical(inner, failed);
  if (failed) return false;
  for (;;) {
    if (fs::equivalent(path, outer, failed)) return true;
    if (!path.has_relative_path()) return false;
    path = path.parent_path();
  }
}

// Refuses queues that are one directory or nested: the rename of a copy would
// land on a parked file, and the deletion would remove the only copy left.
class QueueSeparation {
 public:
  void Check(const fs::path& badMail, const fs::path& outbound) {
    if (badMail == checkedBadMail_ && outbound == checkedOutbound_) return;
    if (IsWithin(outbound, badMail) || IsWithin(badMail, outbound)) {
      throw FileError(kErrorInvalidArgument,
                      "The outbound queue and the Bad Mail directory are one directory, or one "
                      "lies inside the other",
                      PathText(outbound));
    }
    checkedBadMail_ = badMail;
    checkedOutbound_ = outbound;
  }

 private:
  fs::path checkedBadMail_;
  fs::path checkedOutbound_;
};

// Removes temporary files again unless they are kept.
class TemporaryFiles {
 public:
  explicit TemporaryFiles(FileSystem& files) : files_(files) {}
  ~TemporaryFiles() {
    for (const fs::path& path : paths_) files_.Discard(path);
  }
  TemporaryFiles(const TemporaryFiles&) = delete;
  TemporaryFiles& operator=(const TemporaryFiles&) = delete;

  void Add(const fs::path& path) { paths_.push_back(path); }
  void Keep() { paths_.clear(); }

 private:
  FileSystem& files_;
  std::vector<fs::path> paths_;
};

// Copies the whole of `from` to `to`; the number of bytes.
std::uint64_t CopyContent(InputFile& from, OutputFile& to) {
  constexpr std::size_t kSize = 256 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kSize);
  std::uint64_t copied = 0;
  ReadBlocks(from, buffer.get(), kSize, [&](const char* data, std::size_t size) {
    to.Write(data, size);
    copied += size;
  });
  return copied;
}

class Requeuer {
 public:
  Requeuer(const std::vector<std::string>& names, const RequeueOptions& options, FileSystem& files)
      : options_(options), files_(files) {
    for (const std::string& name : names) rows_.push_back({name, RequeueOutcome::kNotTried, {}});
  }

  std::vector<RequeueRow> Run();

 private:
  void Prepare(std::size_t row);
  // Puts the batch's rows in place durably, then deletes their parked files.
  void Commit();
  std::vector<fs::path> DirectoriesOf(fs::path PreparedRow::*place) const;
  // Flushes; on a failure the whole batch is dropped and the requeue stops.
  void FlushOrStop(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs);
  // Renames each row's temporary file over its place; on a failure the rows
  // from there on are dropped from the batch and the failure is kept.
  void PlaceAll(fs::path PreparedRow::*temporary, fs::path PreparedRow::*place);
  // Drops the batch's rows from `first` on, with their temporary files.
  void AbandonFrom(std::size_t first);
  void KeepEarliest(RowFailure failure);
  void DeleteParked();
  // Whether both parked files are the very ones the row's copies were read from.
  bool StillParked(const PreparedRow& row);
  void DeleteUnlessGone(const fs::path& path);
  void DiscardStaleTemporaries();
  bool IsStaleTemporary(Directory& messages, const DirectoryEntry& entry) const;
  void Skip(std::size_t row, RequeueOutcome outcome) { rows_[row].outcome = outcome; }
  std::string Stamp() const { return std::to_string(SecondsSinceEpochUtc(options_.clock)); }

  const RequeueOptions& options_;
  FileSystem& files_;
  std::vector<RequeueRow> rows_;
  std::vector<PreparedRow> batch_;
  std::uint64_t batchBytes_ = 0;  // of the message files written for the batch
  QueueSeparation separation_;
  std::optional<RowFailure> failure_;
};

std::vector<RequeueRow> Requeuer::Run() {
  if (rows_.empty()) return {};
  DiscardStaleTemporaries();
  try {
    for (std::size_t row = 0; row < rows_.size() && !failure_; ++row) {
      try {
        Prepare(row);
      } catch (const FileError& error) {
        failure_ = RowFailure{row, error};
      }
      if (failure_ || batch_.size() >= options_.batchRows || batchBytes_ >= options_.batchBytes ||
          row + 1 == rows_.size()) {
        Commit();
        if (options_.progress) options_.progress(row + 1, rows_.size());
      }
    }
  } catch (const RowFailure& failure) {
    KeepEarliest(failure);
  }
  if (failure_) {
    rows_[failure_->row].outcome = RequeueOutcome::kFailed;
    rows_[failure_->row].error = failure_->error;
  }
  return std::move(rows_);
}

void Requeuer::Prepare(std::size_t row) {
  const std::string& name = rows_[row].name;
  // Every path first, so that a queue the registry does not give stops us before
  // a file is touched; each queue's two from one lookup.
  const QueueFiles parked = FilesOf(Queue::kBadMail, name);
  const QueueFiles outbound = FilesOf(Queue::kOutbound, name);
  PreparedRow prepared{
      row, parked.message, parked.command, outbound.message, outbound.command, {}, {}, {}, {}};
  separation_.Check(prepared.parkedCommand.parent_path(), prepared.outboundCommand.parent_path());

  std::unique_ptr<InputFile> command;
  std::unique_ptr<InputFile> message;
  try {
    command = files_.OpenForReading(prepared.parkedCommand);
    message = files_.OpenForReading(prepared.parkedMessage);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) return Skip(row, RequeueOutcome::kGone);
    if (IsLinkOrNotRegular(error)) return Skip(row, RequeueOutcome::kNoLongerCandidate);
    throw;
  }

  // The command file is read once: its rewrite is written while the candidate
  // test runs again on the same bytes, and dropped if the test now fails.
  const fs::path temporaries = prepared.outboundMessage.parent_path();
  TemporaryFiles written(files_);
  const auto commandCopy = files_.CreateTemporary(temporaries);
  written.Add(commandCopy->path());
  const CommandFileVerdict verdict =
      RewriteCommandFile(*command, *commandCopy, [this] { return Stamp(); });
  commandCopy->Close();
  if (!IsRequeueCandidate(verdict)) return Skip(row, RequeueOutcome::kNoLongerCandidate);

  const auto messageCopy = files_.CreateTemporary(temporaries);
  written.Add(messageCopy->path());
  batchBytes_ += CopyContent(*message, *messageCopy);
  messageCopy->Close();

  // A parked file the server replaced or rewrote while we read: the copies may
  // pair what never belonged together, and are dropped.
  prepared.messageRead = message->Status().identity;
  prepared.commandRead = command->Status().identity;
  if (!StillParked(prepared)) return Skip(row, RequeueOutcome::kNoLongerCandidate);
  written.Keep();
  prepared.commandTemporary = commandCopy->path();
  prepared.messageTemporary = messageCopy->path();
  batch_.push_back(std::move(prepared));
}

void Requeuer::Commit() {
  if (batch_.empty()) return;
  std::vector<fs::path> temporaries;
  for (const PreparedRow& row : batch_) {
    temporaries.push_back(row.messageTemporary);
    temporaries.push_back(row.commandTemporary);
  }
  FlushOrStop(temporaries, {});
  PlaceAll(&PreparedRow::messageTemporary, &PreparedRow::outboundMessage);
  FlushOrStop({}, DirectoriesOf(&PreparedRow::outboundMessage));
  PlaceAll(&PreparedRow::commandTemporary, &PreparedRow::outboundCommand);
  FlushOrStop({}, DirectoriesOf(&PreparedRow::outboundCommand));
  DeleteParked();
}

std::vector<fs::path> Requeuer::DirectoriesOf(fs::path PreparedRow::*place) const {
  std::vector<fs::path> dirs;
  for (const PreparedRow& row : batch_) dirs.push_back((row.*place).parent_path());
  std::sort(dirs.begin(), dirs.end());
  dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
  return dirs;
}

void Requeuer::FlushOrStop(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs) {
  if (batch_.empty()) return;
  try {
    files_.Flush(files, dirs);
  } catch (const FileError& error) {
    // Nothing of the batch is known to be durable: no parked file may go.
    const std::size_t first = batch_.front().row;
    AbandonFrom(0);
    throw RowFailure{first, error};
  }
}

void Requeuer::PlaceAll(fs::path PreparedRow::*temporary, fs::path PreparedRow::*place) {
  for (std::size_t i = 0; i < batch_.size(); ++i) {
    try {
      files_.Rename(batch_[i].*temporary, batch_[i].*place);
    } catch (const FileError& error) {
      // The rows before it go on to the end; this one and those after it stop.
      KeepEarliest(RowFailure{batch_[i].row, error});
      AbandonFrom(i);
      return;
    }
  }
}

void Requeuer::AbandonFrom(std::size_t first) {
  for (std::size_t i = first; i < batch_.size(); ++i) {
    files_.Discard(batch_[i].messageTemporary);
    files_.Discard(batch_[i].commandTemporary);
  }
  batch_.resize(first);
}

void Requeuer::DeleteUnlessGone(const fs::path& path) {
  try {
    files_.Delete(path);
  } catch (const FileError& error) {
    if (!IsFileNotFound(error)) throw;  // else the server was first
  }
}

bool Requeuer::StillParked(const PreparedRow& row) {
  return files_.Identity(row.parkedMessage) == row.messageRead &&
         files_.Identity(row.parkedCommand) == row.commandRead;
}

void Requeuer::KeepEarliest(RowFailure failure) {
  if (!failure_ || failure.row < failure_->row) failure_ = std::move(failure);
}

void Requeuer::DeleteParked() {
  // Every row of the batch is in the outbound queue now: each one's parked files
  // go, even when another's cannot, so that none is left to be sent twice.
  for (const PreparedRow& row : batch_) {
    rows_[row.row].outcome = RequeueOutcome::kRequeued;
    if (!options_.deleteParked) continue;
    try {
      // Files the server has put in their place since, or deleted, are its own.
      if (!StillParked(row)) continue;
      DeleteUnlessGone(row.parkedMessage);
      DeleteUnlessGone(row.parkedCommand);
    } catch (const FileError& error) {
      KeepEarliest(RowFailure{row.row, error});
    }
  }
  batch_.clear();
  batchBytes_ = 0;
}

void Requeuer::DiscardStaleTemporaries() {
  try {
    const fs::path outbound = QueueDirectory(Queue::kOutbound);
    const auto messages = files_.OpenDirectory(outbound / "messages");
    std::unique_ptr<Directory> commands;  // opened once a stale one is found
    for (const DirectoryEntry& entry : messages->Entries()) {
      if (!IsStaleTemporary(*messages, entry)) continue;
      // A message the server parked under such a name has, once requeued, its
      // command file in the queue; a temporary file of ours never has one.
      if (!commands) commands = files_.OpenDirectory(outbound);
      if (!commands->Status(entry.name)) files_.Discard(messages->path() / entry.name);
    }
  } catch (const FileError&) {
    // Whatever keeps us from the outbound queue, the first row reports.
  }
}

bool Requeuer::IsStaleTemporary(Directory& messages, const DirectoryEntry& entry) const {
  if (entry.kind != FileKind::kRegular || !IsTemporaryName(entry.name)) return false;
  const auto status = messages.Status(entry.name);
  return status &&
         options_.clock() - status->modified.time_since_epoch().count() >= kStaleTemporarySeconds;
}

}  // namespace

std::vector<RequeueRow> Requeue(const std::vector<std::string>& names,
                                const RequeueOptions& options, FileSystem& files) {
  return Requeuer(names, options, files).Run();
}

}  // namespace velmoth
