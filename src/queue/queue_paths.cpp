// Queue directories from the server's registry values, and the file paths in them.
#include "queue/queue_paths.h"

#include "config/local_path.h"
#include "config/registry.h"
#include "queue/file_system.h"

namespace velmoth {
namespace {

std::filesystem::path BareFileName(const std::string& name) {
  const std::filesystem::path path = PathFromText(name);
  if (name.empty() || name == "." || name == ".." || path != path.filename()) {
    throw FileError(kErrorInvalidName, "Not the name of a file in the queue", name);
  }
  return path;
}

}  // namespace

std::filesystem::path QueueDirectory(Queue queue) {
  const bool badMail = queue == Queue::kBadMail;
  const std::string directory = badMail ? GetBadMailDirectory() : GetOutboundQueueDirectory();
  if (directory.empty()) {
    const std::string key = badMail ? kServerKey : kSmtpConnectorKey;
    const std::string value = badMail ? kBadMailValue : kOutboundQueueValue;
    throw FileError(kErrorNotFound,
                    "The mail server's registry value \"" + value + "\" is missing or empty",
                    "HKEY_LOCAL_MACHINE\\" + key);
  }
  return LocalDirectoryPath(directory);
}

std::filesystem::path MessagesDirectory(Queue queue) { return QueueDirectory(queue) / "messages"; }

std::filesystem::path CommandFilePath(Queue queue, const std::string& name) {
  return QueueDirectory(queue) / BareFileName(name);
}

std::filesystem::path MessageFilePath(Queue queue, const std::string& name) {
  return MessagesDirectory(queue) / BareFileName(name);
}

}  // namespace velmoth
