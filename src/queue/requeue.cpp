// Copies parked messages into the outbound queue with their delivery state reset,
// a batch of rows at a time: every row's two files are written under temporary
// names and flushed together; each row is checked again and its message file
// renamed into place, then, after a flush, its command file; only then are the
// parked files deleted, as the very files that were read, and Bad Mail flushed.
#include "queue/requeue.h"

#include <algorithm>
#include <memory>
#include <tuple>

#include "queue/command_file.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// Removes temporary files of one directory again unless they are kept.
class TemporaryFiles {
 public:
  explicit TemporaryFiles(Directory& dir) : dir_(dir) {}
  ~TemporaryFiles() {
    for (const std::string& name : names_) dir_.Discard(name);
  }
  TemporaryFiles(const TemporaryFiles&) = delete;
  TemporaryFiles& operator=(const TemporaryFiles&) = delete;

  void Add(const std::string& name) { names_.push_back(name); }
  void Keep() { names_.clear(); }

 private:
  Directory& dir_;
  std::vector<std::string> names_;
};

// One row written under temporary names, its parked files held open until its
// batch is done with them.
struct PreparedRow {
  std::size_t row;
  std::unique_ptr<InputFile> command;
  std::unique_ptr<InputFile> message;
  std::string commandTemporary;
  std::string messageTemporary;
  FileIdentity messageCopy;  // of the copy, which keeps it under its final name
  bool messagePlaced = false;
  bool replacedOutbound = false;  // the message file replaced one of the same name
  bool outboundCommand = false;   // a command file of the name was in the outbound queue
};

// The identities of `dir` and of every directory above it.
std::vector<FileIdentity> Lineage(Directory& dir) {
  std::vector<FileIdentity> lineage{dir.Identity()};
  for (auto parent = dir.OpenParent(); parent; parent = parent->OpenParent()) {
    lineage.push_back(parent->Identity());
  }
  return lineage;
}

bool Holds(const std::vector<FileIdentity>& lineage, const FileIdentity& identity) {
  return std::find(lineage.begin(), lineage.end(), identity) != lineage.end();
}

// What the outbound queue holds under a name.
enum class OutboundEntry { kNone, kIdle, kSpooling };

// Refuses queues that are one directory, lie one inside the other, or share a
// "messages" directory: the rename of a copy would land on a parked file, and the
// deletion would remove the only copy left.
void CheckSeparate(const OpenedQueue& parked, const OpenedQueue& outbound) {
  const std::vector<FileIdentity> badMail = Lineage(*parked.commands);
  const std::vector<FileIdentity> queue = Lineage(*outbound.commands);
  std::vector<FileIdentity> all{badMail.front(), queue.front(), outbound.messages->Identity()};
  if (parked.messages) all.push_back(parked.messages->Identity());
  std::sort(all.begin(), all.end(), [](const FileIdentity& a, const FileIdentity& b) {
    return std::tie(a.device, a.file) < std::tie(b.device, b.file);
  });
  if (Holds(badMail, queue.front()) || Holds(queue, badMail.front()) ||
      std::adjacent_find(all.begin(), all.end()) != all.end()) {
    throw FileError(ErrorKind::kOther, kErrorInvalidArgument,
                    "The outbound queue and the Bad Mail directory are one directory, one lies "
                    "inside the other, or they share their \"messages\" directory",
                    PathText(outbound.commands->path()));
  }
}

// Says of a row taken back out of the outbound queue that its copy had replaced
// a message file of the same name there, which is gone with it.
void NoteReplaced(RequeueRow& row, const fs::path& path) {
  constexpr char kNote[] =
      "a message file of the same name that was in the outbound queue had been replaced by "
      "the copy, and is gone with it";
  if (row.error) {
    row.error = FileError(row.error->kind(), row.error->number(),
                          row.error->description() + "; " + kNote, row.error->path());
  } else {
    row.error =
        FileError(ErrorKind::kOther, kErrorIncomplete,
                  std::string("Not requeued, as the requeue stopped; ") + kNote, PathText(path));
  }
}

class Requeuer {
 public:
  Requeuer(const std::vector<std::string>& names, const RequeueOptions& options, FileSystem& files,
           const QueueLocations& locations)
      : options_(options), files_(files), locations_(locations) {
    for (const std::string& name : names)
      rows_.push_back({name, RequeueOutcome::kNotTried, {}, {}});
  }

  std::vector<RequeueRow> Run();

 private:
  void OpenQueues();
  std::size_t BatchRowLimit() const;
  void Prepare(std::size_t row);
  void Preview(std::size_t row);
  // The parked file `name` of `dir`, or null when the row is skipped for it.
  std::unique_ptr<InputFile> OpenParked(Directory& dir, std::size_t row);
  OutboundEntry OutboundEntryOf(const std::string& name);
  // Whether the row's parked files are as they were read and still a candidate.
  std::optional<RequeueOutcome> Recheck(PreparedRow& prepared);
  bool StillParked(const std::string& name, PreparedRow& prepared);

  void Commit();
  bool FlushTemporaries();
  bool PlaceMessages();
  bool PlaceCommands();
  void FlushOutbound();
  void DeleteParked();
  void DeleteRow(PreparedRow& prepared);
  void FlushBadMail();
  void SweepStaleTemporaries();

  // Takes the batch's rows from `first` on out of the outbound queue again.
  void Undo(std::size_t first);
  // Takes the batch's row `i` out of the queue and the batch, as skipped.
  void Drop(std::size_t i, RequeueOutcome outcome);
  void Fail(std::size_t row, const FileError& error);
  void Skip(std::size_t row, RequeueOutcome outcome) { rows_[row].outcome = outcome; }
  void Keep(std::size_t row, KeptReason reason, std::optional<FileError> error = std::nullopt);
  const std::string& NameOf(const PreparedRow& prepared) const { return rows_[prepared.row].name; }
  std::string Stamp() const { return std::to_string(SecondsSinceEpochUtc(options_.clock)); }

  const RequeueOptions& options_;
  FileSystem& files_;
  const QueueLocations& locations_;
  std::vector<RequeueRow> rows_;
  OpenedQueue parked_;
  OpenedQueue outbound_;
  std::vector<PreparedRow> batch_;
  std::uint64_t batchBytes_ = 0;  // of the message files copied for the batch
  bool stopped_ = false;
};

std::vector<RequeueRow> Requeuer::Run() {
  if (rows_.empty()) return {};
  try {
    OpenQueues();
  } catch (const FileError& error) {
    Fail(0, error);
    return std::move(rows_);
  }
  if (options_.dryRun) {
    for (std::size_t row = 0; row < rows_.size() && !stopped_; ++row) Preview(row);
    return std::move(rows_);
  }
  SweepStaleTemporaries();
  const std::size_t rowLimit = BatchRowLimit();
  for (std::size_t row = 0; row < rows_.size() && !stopped_; ++row) {
    try {
      Prepare(row);
    } catch (const FileError& error) {
      Fail(row, error);
    }
    if (stopped_ || batch_.size() >= rowLimit || batchBytes_ >= options_.batchBytes ||
        row + 1 == rows_.size()) {
      Commit();
      if (options_.progress) options_.progress(row + 1, rows_.size());
    }
  }
  return std::move(rows_);
}

void Requeuer::OpenQueues() {
  parked_ = OpenQueue(files_, locations_, Queue::kBadMail);
  outbound_ = OpenQueue(files_, locations_, Queue::kOutbound);
  if (!outbound_.messages) {
    throw FileError(ErrorKind::kNotFound, kErrorNotFound,
                    "The outbound queue has no \"messages\" directory",
                    PathText(outbound_.commands->path() / kMessagesDirectory));
  }
  CheckSeparate(parked_, outbound_);
}

std::size_t Requeuer::BatchRowLimit() const {
  // Each row holds its two parked files open.
  return std::max<std::size_t>(1, std::min(options_.batchRows, OpenFileBudget() / 2));
}

void Requeuer::Prepare(std::size_t row) {
  const std::string& name = rows_[row].name;
  if (!parked_.messages) return Skip(row, RequeueOutcome::kGone);
  PreparedRow prepared{row, OpenParked(*parked_.commands, row), nullptr, {}, {}, {}};
  if (!prepared.command) return;
  prepared.message = OpenParked(*parked_.messages, row);
  if (!prepared.message) return;
  if (OutboundEntryOf(name) == OutboundEntry::kSpooling) {
    return Skip(row, RequeueOutcome::kOutboundSpooling);
  }

  // The command file is read once: its rewrite is written while the candidate
  // test runs again on the same bytes, and dropped if the test now fails.
  Directory& temporaries = *outbound_.messages;
  TemporaryFiles written(temporaries);
  const auto commandCopy = temporaries.CreateTemporary();
  written.Add(commandCopy->name());
  std::uint64_t read = 0;
  const CommandFileVerdict verdict = RewriteCommandFile(
      *prepared.command, *commandCopy, [this] { return Stamp(); }, &read);
  if (!IsRequeueCandidate(verdict) || read != prepared.command->Status().size) {
    return Skip(row, RequeueOutcome::kNoLongerCandidate);
  }
  commandCopy->ShareLike(*prepared.command);
  commandCopy->Close();

  const auto messageCopy = temporaries.CreateTemporary();
  written.Add(messageCopy->name());
  const std::uint64_t copied = messageCopy->CopyFrom(*prepared.message);
  const std::uint64_t size = prepared.message->Status().size;
  if (copied != size) {
    if (prepared.message->CurrentStatus().size != size) {
      return Skip(row, RequeueOutcome::kNoLongerCandidate);
    }
    throw FileError(ErrorKind::kOther, kErrorIncomplete,
                    "The message file could not be read to its end: " + std::to_string(copied) +
                        " of " + std::to_string(size) + " bytes",
                    PathText(prepared.message->path()));
  }
  messageCopy->ShareLike(*prepared.message);
  messageCopy->Close();
  const std::optional<FileStatus> copy = temporaries.Status(messageCopy->name());
  if (!copy) ThrowError(kErrorNotFound, messageCopy->path());
  prepared.messageCopy = copy->identity;

  // A parked file the server replaced or rewrote while we read: the copies may
  // pair what never belonged together, and are dropped.
  if (!StillParked(name, prepared)) return Skip(row, RequeueOutcome::kNoLongerCandidate);
  written.Keep();
  prepared.commandTemporary = commandCopy->name();
  prepared.messageTemporary = messageCopy->name();
  batchBytes_ += copied;
  batch_.push_back(std::move(prepared));
}

void Requeuer::Preview(std::size_t row) {
  try {
    if (!parked_.messages) return Skip(row, RequeueOutcome::kGone);
    const auto command = OpenParked(*parked_.commands, row);
    if (!command || !OpenParked(*parked_.messages, row)) return;
    if (OutboundEntryOf(rows_[row].name) == OutboundEntry::kSpooling) {
      return Skip(row, RequeueOutcome::kOutboundSpooling);
    }
    if (!IsRequeueCandidate(ReadCommandFileVerdict(*command))) {
      return Skip(row, RequeueOutcome::kNoLongerCandidate);
    }
    Skip(row, RequeueOutcome::kWouldRequeue);
  } catch (const FileError& error) {
    Fail(row, error);
  }
}

std::unique_ptr<InputFile> Requeuer::OpenParked(Directory& dir, std::size_t row) {
  const Access access =
      options_.deleteParked && !options_.dryRun ? Access::kReadAndDelete : Access::kRead;
  try {
    return dir.Open(rows_[row].name, access);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) {
      Skip(row, RequeueOutcome::kGone);
    } else if (IsLinkOrNotRegular(error)) {
      Skip(row, RequeueOutcome::kNoLongerCandidate);
    } else {
      throw;
    }
  }
  return nullptr;
}

OutboundEntry Requeuer::OutboundEntryOf(const std::string& name) {
  std::unique_ptr<InputFile> file;
  try {
    file = outbound_.commands->Open(name, Access::kRead);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) return OutboundEntry::kNone;
    // Nothing the server could be sending: the rename replaces it.
    if (IsLinkOrNotRegular(error)) return OutboundEntry::kIdle;
    throw;
  }
  return ReadCommandFileVerdict(*file) == CommandFileVerdict::kSpooling ? OutboundEntry::kSpooling
                                                                        : OutboundEntry::kIdle;
}

bool Requeuer::StillParked(const std::string& name, PreparedRow& prepared) {
  const auto same = [&name](Directory& dir, InputFile& file) {
    const FileStatus opened = file.Status();
    const std::optional<FileStatus> now = dir.Status(name);
    return now && now->identity == opened.identity && now->changed == opened.changed &&
           file.CurrentStatus().changed == opened.changed;
  };
  return same(*parked_.commands, *prepared.command) && same(*parked_.messages, *prepared.message);
}

std::optional<RequeueOutcome> Requeuer::Recheck(PreparedRow& prepared) {
  const std::string& name = NameOf(prepared);
  if (!parked_.commands->Status(name) || !parked_.messages->Status(name)) {
    return RequeueOutcome::kGone;
  }
  if (!StillParked(name, prepared)) return RequeueOutcome::kNoLongerCandidate;
  prepared.command->Rewind();
  if (!IsRequeueCandidate(ReadCommandFileVerdict(*prepared.command))) {
    return RequeueOutcome::kNoLongerCandidate;
  }
  const OutboundEntry outbound = OutboundEntryOf(name);
  if (outbound == OutboundEntry::kSpooling) return RequeueOutcome::kOutboundSpooling;
  prepared.outboundCommand = outbound != OutboundEntry::kNone;
  prepared.replacedOutbound = outbound_.messages->Status(name).has_value();
  return std::nullopt;
}

void Requeuer::Commit() {
  if (!batch_.empty() && FlushTemporaries() && PlaceMessages() && PlaceCommands()) {
    FlushOutbound();
    DeleteParked();
  }
  batch_.clear();
  batchBytes_ = 0;
}

bool Requeuer::FlushTemporaries() {
  std::vector<std::string> names;
  for (const PreparedRow& prepared : batch_) {
    names.push_back(prepared.messageTemporary);
    names.push_back(prepared.commandTemporary);
  }
  try {
    outbound_.messages->FlushFiles(names);
    return true;
  } catch (const FileError& error) {
    // Nothing of the batch is known to be durable: none of it may go live.
    Fail(batch_.front().row, error);
    Undo(0);
    return false;
  }
}

// Each row's message file goes in place only while the row is as it was read;
// a name the outbound queue did not hold is never taken from a file the server
// puts there meanwhile.
bool Requeuer::PlaceMessages() {
  Directory& messages = *outbound_.messages;
  for (std::size_t i = 0; i < batch_.size();) {
    PreparedRow& prepared = batch_[i];
    try {
      if (const auto skipped = Recheck(prepared)) {
        Drop(i, *skipped);
        continue;
      }
      messages.Rename(prepared.messageTemporary, messages, NameOf(prepared),
                      prepared.replacedOutbound ? ExistingName::kReplace : ExistingName::kKeep);
      prepared.messagePlaced = true;
    } catch (const FileError& error) {
      if (error.kind() == ErrorKind::kExists) {
        Drop(i, RequeueOutcome::kOutboundSpooling);
        continue;
      }
      // The rows before it go on to the end; this one and those after it stop.
      Fail(prepared.row, error);
      Undo(i);
      break;
    }
    ++i;
  }
  if (batch_.empty()) return false;
  try {
    messages.FlushNames();
    return true;
  } catch (const FileError& error) {
    // No command file is in place yet: the batch is taken back whole.
    Fail(batch_.front().row, error);
    Undo(0);
    return false;
  }
}

bool Requeuer::PlaceCommands() {
  for (std::size_t i = 0; i < batch_.size();) {
    PreparedRow& prepared = batch_[i];
    try {
      outbound_.messages->Rename(
          prepared.commandTemporary, *outbound_.commands, NameOf(prepared),
          prepared.outboundCommand ? ExistingName::kReplace : ExistingName::kKeep);
      rows_[prepared.row].outcome = RequeueOutcome::kRequeued;
    } catch (const FileError& error) {
      if (error.kind() == ErrorKind::kExists) {
        Drop(i, RequeueOutcome::kOutboundSpooling);
        continue;
      }
      Fail(prepared.row, error);
      Undo(i);
      break;
    }
    ++i;
  }
  return !batch_.empty();
}

void Requeuer::FlushOutbound() {
  try {
    outbound_.commands->FlushNames();
  } catch (const FileError& error) {
    // The rows are live, yet a power loss may take them back: their parked
    // files stay, and nothing more is requeued.
    for (const PreparedRow& prepared : batch_) {
      if (options_.deleteParked) {
        Keep(prepared.row, KeptReason::kNotFlushed, error);
      } else {
        rows_[prepared.row].error = error;
      }
    }
    batch_.clear();
    stopped_ = true;
  }
}

void Requeuer::DeleteParked() {
  if (!options_.deleteParked || batch_.empty()) return;
  // Every row of the batch is in the outbound queue now: each one's parked files
  // go, even when another's cannot, so that none is left to be sent twice.
  for (PreparedRow& prepared : batch_) DeleteRow(prepared);
  FlushBadMail();
}

void Requeuer::DeleteRow(PreparedRow& prepared) {
  const std::string& name = NameOf(prepared);
  try {
    // The last word, once nobody can change the parked files any more: the
    // command file still says what was copied.
    const auto unchanged = [&prepared] {
      prepared.command->Rewind();
      return IsRequeueCandidate(ReadCommandFileVerdict(*prepared.command));
    };
    switch (files_.DeleteOpened({{*parked_.messages, name, *prepared.message},
                                 {*parked_.commands, name, *prepared.command}},
                                unchanged)) {
      case DeleteOutcome::kDeleted:
      case DeleteOutcome::kGone:
        break;
      case DeleteOutcome::kChanged:
        Keep(prepared.row, KeptReason::kChanged);
        break;
      case DeleteOutcome::kReadOnly:
        Keep(prepared.row, KeptReason::kReadOnly);
        break;
    }
  } catch (const FileError& error) {
    Keep(prepared.row, KeptReason::kDeleteFailed, error);
  }
  // Closed now: a file deleted through its handle goes when that is closed.
  prepared.message.reset();
  prepared.command.reset();
}

void Requeuer::FlushBadMail() {
  try {
    parked_.messages->FlushNames();
    parked_.commands->FlushNames();
  } catch (const FileError& error) {
    // The parked files are gone, but a power loss may bring them back to be
    // requeued twice: that is said, and nothing more is requeued.
    rows_[batch_.front().row].error = error;
    stopped_ = true;
  }
}

void Requeuer::Undo(std::size_t first) {
  Directory& messages = *outbound_.messages;
  for (std::size_t i = first; i < batch_.size(); ++i) {
    PreparedRow& prepared = batch_[i];
    messages.Discard(prepared.commandTemporary);
    if (!prepared.messagePlaced) {
      messages.Discard(prepared.messageTemporary);
      continue;
    }
    DiscardIfSame(messages, NameOf(prepared), prepared.messageCopy);
    if (prepared.replacedOutbound) {
      NoteReplaced(rows_[prepared.row], messages.path() / PathFromText(NameOf(prepared)));
    }
  }
  batch_.resize(first);
}

void Requeuer::Drop(std::size_t i, RequeueOutcome outcome) {
  PreparedRow prepared = std::move(batch_[i]);
  batch_.erase(batch_.begin() + static_cast<std::ptrdiff_t>(i));
  Directory& messages = *outbound_.messages;
  messages.Discard(prepared.commandTemporary);
  if (prepared.messagePlaced) {
    DiscardIfSame(messages, NameOf(prepared), prepared.messageCopy);
  } else {
    messages.Discard(prepared.messageTemporary);
  }
  Skip(prepared.row, outcome);
  if (prepared.messagePlaced && prepared.replacedOutbound) {
    NoteReplaced(rows_[prepared.row], messages.path() / PathFromText(NameOf(prepared)));
  }
}

void Requeuer::Fail(std::size_t row, const FileError& error) {
  rows_[row].outcome = RequeueOutcome::kFailed;
  rows_[row].error = error;
  stopped_ = true;
}

void Requeuer::Keep(std::size_t row, KeptReason reason, std::optional<FileError> error) {
  rows_[row].outcome = RequeueOutcome::kRequeuedNotDeleted;
  rows_[row].kept = reason;
  rows_[row].error = std::move(error);
}

void Requeuer::SweepStaleTemporaries() {
  Directory& messages = *outbound_.messages;
  try {
    for (const DirectoryEntry& entry : messages.Entries()) {
      if (entry.kind != FileKind::kRegular || !IsTemporaryName(entry.name)) continue;
      const auto status = messages.Status(entry.name);
      if (!status ||
          options_.clock() - status->modified.time_since_epoch().count() < kStaleTemporarySeconds) {
        continue;
      }
      // A message the server parked under such a name has, once requeued, its
      // command file in the queue; a temporary file of ours never has one.
      if (!outbound_.commands->Status(entry.name)) messages.Discard(entry.name);
    }
  } catch (const FileError&) {
    // Whatever keeps us from the outbound queue, the first row reports.
  }
}

}  // namespace

std::vector<RequeueRow> Requeue(const std::vector<std::string>& names,
                                const RequeueOptions& options, FileSystem& files,
                                const QueueLocations& locations) {
  return Requeuer(names, options, files, locations).Run();
}

}  // namespace velmoth
