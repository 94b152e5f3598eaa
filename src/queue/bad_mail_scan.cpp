// Lists the requeue candidates of the Bad Mail directory. Each command file is
// opened once by name relative to the directory and read to its end, each
// message file only looked at, and at most one file is open at a time.
#include "queue/bad_mail_scan.h"

#include "queue/command_file.h"

namespace velmoth {
namespace {

LeftOutReason ReasonOf(CommandFileVerdict verdict) {
  return verdict == CommandFileVerdict::kSpooling ? LeftOutReason::kSpooling
                                                  : LeftOutReason::kNonDeliveryReport;
}

// What the scan learns of one parked file on its way to a row or a reason.
struct Finding {
  std::optional<FileDate> date;
  std::optional<LeftOutReason> reason;
  std::optional<FileError> error;
  std::optional<FileStatus> message;

  void Fail(LeftOutReason why, std::optional<FileError> because = std::nullopt) {
    if (reason) return;
    reason = why;
    error = std::move(because);
  }
};

class Scanner {
 public:
  // Without a "messages" subdirectory no parked file has its message.
  Scanner(Directory& parked, Directory* messages) : parked_(parked), messages_(messages) {}

  void Visit(const DirectoryEntry& entry);
  BadMailScan& result() { return result_; }

 private:
  // The candidate test; false when the command file was taken away meanwhile.
  bool TestCommandFile(const DirectoryEntry& entry, Finding& finding);
  void LookAtMessageFile(const std::string& name, Finding& finding);

  Directory& parked_;
  Directory* messages_;
  BadMailScan result_;
};

void Scanner::Visit(const DirectoryEntry& entry) {
  Finding finding{entry.modified, std::nullopt, std::nullopt, std::nullopt};
  if (entry.kind != FileKind::kRegular) {
    finding.Fail(LeftOutReason::kNotRegularFile);
  } else if (!TestCommandFile(entry, finding)) {
    return;  // taken away by the server meanwhile: no longer parked
  }
  LookAtMessageFile(entry.name, finding);
  std::optional<std::uint64_t> size;
  if (finding.message && finding.message->kind == FileKind::kRegular) size = finding.message->size;
  if (finding.reason) {
    result_.leftOut.push_back({entry.name, *finding.reason, finding.date, finding.error, size});
  } else {
    result_.candidates.push_back({entry.name, *size, *finding.date});
  }
}

bool Scanner::TestCommandFile(const DirectoryEntry& entry, Finding& finding) {
  try {
    const auto commandFile = parked_.Open(entry.name, Access::kRead);
    if (!finding.date) finding.date = commandFile->Status().modified;
    const CommandFileVerdict verdict = ReadCommandFileVerdict(*commandFile);
    if (!IsRequeueCandidate(verdict)) finding.Fail(ReasonOf(verdict));
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) return false;
    if (IsLinkOrNotRegular(error)) {
      finding.Fail(LeftOutReason::kNotRegularFile);
    } else {
      finding.Fail(LeftOutReason::kUnreadable, error);
    }
  }
  return true;
}

void Scanner::LookAtMessageFile(const std::string& name, Finding& finding) {
  try {
    if (messages_) finding.message = messages_->QuickStatus(name);
  } catch (const FileError& error) {
    finding.Fail(LeftOutReason::kUnreadable, error);
    return;
  }
  if (!finding.message) return finding.Fail(LeftOutReason::kNoMessageFile);
  if (finding.message->kind != FileKind::kRegular) finding.Fail(LeftOutReason::kNotRegularFile);
  if (!finding.message->readable) {
    finding.Fail(LeftOutReason::kUnreadable,
                 FileError(ErrorKind::kAccessDenied, kErrorAccessDenied,
                           "The message file may not be read", PathText(messages_->path() / name)));
  }
}

}  // namespace

BadMailScan ScanBadMail(FileSystem& files, const QueueLocations& locations) {
  // One registry lookup per scan.
  const OpenedQueue parked = OpenQueue(files, locations, Queue::kBadMail);
  Scanner scanner(*parked.commands, parked.messages.get());
  for (const DirectoryEntry& entry : parked.commands->Entries()) scanner.Visit(entry);
  return std::move(scanner.result());
}

BadMailScan ScanParkedNames(FileSystem& files, const QueueLocations& locations,
                            const std::vector<std::string>& names) {
  const OpenedQueue parked = OpenQueue(files, locations, Queue::kBadMail);
  Scanner scanner(*parked.commands, parked.messages.get());
  for (const std::string& name : names) {
    std::optional<FileStatus> status;
    try {
      status = parked.commands->QuickStatus(name);
    } catch (const FileError& error) {
      if (!IsFileNotFound(error)) throw;
    }
    // A subdirectory is no parked file, as the listing skips it.
    if (!status || status->kind == FileKind::kDirectory) continue;
    scanner.Visit({name, status->kind, status->modified});
  }
  return std::move(scanner.result());
}

UnreadableFiles CountUnreadable(const BadMailScan& scan) {
  UnreadableFiles unreadable;
  for (const LeftOutFile& file : scan.leftOut) {
    if (file.reason != LeftOutReason::kUnreadable) continue;
    if (unreadable.count++ == 0) unreadable.first = file.error;
  }
  return unreadable;
}

}  // namespace velmoth
