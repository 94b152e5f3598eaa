// Lists the requeue candidates of the Bad Mail directory. Each command file is
// opened once by name relative to the directory and read to its end, each
// message file only looked at, and at most one file is open at a time.
#include "queue/bad_mail_scan.h"

#include "queue/command_file.h"
#include "queue/queue_paths.h"

namespace velmoth {
namespace {

class Scanner {
 public:
  // Without a "messages" subdirectory no parked file has its message.
  Scanner(Directory& parked, Directory* messages) : parked_(parked), messages_(messages) {}

  void Visit(const DirectoryEntry& entry);
  BadMailScan& result() { return result_; }

 private:
  void LeaveOut(const std::string& name, LeftOutReason reason,
                std::optional<FileDate> date = std::nullopt) {
    result_.leftOut.push_back({name, reason, date, std::nullopt});
  }
  void LeaveOutUnreadable(const std::string& name, const FileError& error,
                          std::optional<FileDate> date = std::nullopt) {
    result_.leftOut.push_back({name, LeftOutReason::kUnreadable, date, error});
  }

  Directory& parked_;
  Directory* messages_;
  BadMailScan result_;
};

LeftOutReason ReasonOf(CommandFileVerdict verdict) {
  return verdict == CommandFileVerdict::kSpooling ? LeftOutReason::kSpooling
                                                  : LeftOutReason::kNonDeliveryReport;
}

bool IsLinkOrNotRegular(const FileError& error) {
  return error.number() == kErrorIsLink || error.number() == kErrorNotRegularFile;
}

void Scanner::Visit(const DirectoryEntry& entry) {
  if (entry.kind != FileKind::kRegular) return LeaveOut(entry.name, LeftOutReason::kNotRegularFile);
  std::optional<FileDate> date = entry.modified;
  CommandFileVerdict verdict;
  try {
    const auto commandFile = parked_.Open(entry.name);
    if (!date) date = commandFile->Status().modified;
    verdict = ReadCommandFileVerdict(*commandFile);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) return;  // taken away by the server meanwhile
    if (IsLinkOrNotRegular(error)) return LeaveOut(entry.name, LeftOutReason::kNotRegularFile);
    return LeaveOutUnreadable(entry.name, error, date);
  }
  if (!IsRequeueCandidate(verdict)) return LeaveOut(entry.name, ReasonOf(verdict), date);

  std::optional<FileStatus> message;
  try {
    if (messages_) message = messages_->Status(entry.name);
  } catch (const FileError& error) {
    return LeaveOutUnreadable(entry.name, error, date);
  }
  if (!message) return LeaveOut(entry.name, LeftOutReason::kNoMessageFile, date);
  if (message->kind != FileKind::kRegular) {
    return LeaveOut(entry.name, LeftOutReason::kNotRegularFile, date);
  }
  result_.candidates.push_back({entry.name, message->size, *date});
}

}  // namespace

BadMailScan ScanBadMail(FileSystem& files) {
  // One registry lookup per scan.
  const fs::path directory = QueueDirectory(Queue::kBadMail);
  const auto parked = files.OpenDirectory(directory);
  std::unique_ptr<Directory> messages;
  try {
    messages = files.OpenDirectory(directory / "messages");
  } catch (const FileError& error) {
    if (!IsFileNotFound(error)) throw;
  }
  Scanner scanner(*parked, messages.get());
  for (const DirectoryEntry& entry : parked->Entries()) scanner.Visit(entry);
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
