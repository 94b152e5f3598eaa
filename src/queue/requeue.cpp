// Copies parked messages into the outbound queue with their delivery state reset.
// Order per message: copy the message file, write the command file under a
// temporary name, flush, rename it into place, then delete the parked files.
#include "queue/requeue.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include "queue/command_file.h"
#include "queue/queue_paths.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace velmoth {
namespace {

#ifdef _WIN32
constexpr int kSameFileError = 87;  // ERROR_INVALID_PARAMETER
#else
constexpr int kSameFileError = EINVAL;
#endif

// Whether both paths name one existing file, through whatever links lead there.
bool SameFile(const fs::path& first, const fs::path& second) {
  std::error_code ignored;
  return fs::equivalent(first, second, ignored);
}

// A name in the outbound "messages" subdirectory that no message has: the server
// looks there only for the message files its command files name.
fs::path TemporaryCommandFile(const fs::path& messages) {
  static std::atomic<unsigned> counter{0};
  return messages /
         (".velmoth-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp");
}

}  // namespace

void RewriteCommandFile(const fs::path& source, const fs::path& temporary,
                        const fs::path& destination, bool sync, FileSystem& files,
                        const Clock& clock) {
  const StampProducer stamp = [&clock] { return std::to_string(SecondsSinceEpochUtc(clock)); };
  LineReader reader(source);
  try {
    auto writer = files.Create(temporary);
    while (!reader.AtEnd()) writer->WriteLine(RewriteLine(reader.ReadLine(), stamp));
    writer->Close();
    if (sync) files.SyncFile(temporary);
    files.Rename(temporary, destination);
  } catch (...) {
    files.Discard(temporary);
    throw;
  }
}

void RequeueEntry(const std::string& name, bool deleteParked, FileSystem& files,
                  const Clock& clock) {
  // Every path first, so that a missing directory stops us before a file is touched.
  const fs::path parkedMessage = MessageFilePath(Queue::kBadMail, name);
  const fs::path parkedCommand = CommandFilePath(Queue::kBadMail, name);
  const fs::path outboundMessage = MessageFilePath(Queue::kOutbound, name);
  const fs::path outboundCommand = CommandFilePath(Queue::kOutbound, name);
  const fs::path outboundMessages = outboundMessage.parent_path();
  // With both queues in one place the copy would empty the message it copies,
  // and the deletion would remove the only copy left.
  if (SameFile(parkedMessage, outboundMessage) || SameFile(parkedCommand, outboundCommand)) {
    throw FileError(kSameFileError, "The Bad Mail directory and the outbound queue are the same",
                    PathText(parkedCommand));
  }

  files.Copy(parkedMessage, outboundMessage);
  if (deleteParked) files.SyncFile(outboundMessage);
  RewriteCommandFile(parkedCommand, TemporaryCommandFile(outboundMessages), outboundCommand,
                     deleteParked, files, clock);
  if (!deleteParked) return;
  files.SyncDirectory(outboundMessages);
  files.SyncDirectory(outboundCommand.parent_path());
  files.Delete(parkedMessage);
  files.Delete(parkedCommand);
}

void RequeueChecked(MailList& list, bool deleteParked, FileSystem& files, const Clock& clock) {
  BusyPointer busy(list);
  const int rows = list.RowCount();
  for (int row = 1; row <= rows; ++row) {
    if (list.IsTicked(row)) RequeueEntry(list.RowText(row), deleteParked, files, clock);
  }
}

}  // namespace velmoth
