// The queue directories from their registry values, where a value that is
// missing, unreadable or empty is an error that names its key and value, and the
// queues opened from their locations.
#include "config/queue_locations.h"

#include "base/file_error.h"
#include "config/local_path.h"
#include "config/registry_lookup.h"

namespace velmoth {
namespace {

struct RegistryValue {
  const char* key;
  const char* value;
};

RegistryValue ValueOf(Queue queue) {
  return queue == Queue::kBadMail ? RegistryValue{kServerKey, kBadMailValue}
                                  : RegistryValue{kSmtpConnectorKey, kOutboundQueueValue};
}

}  // namespace

std::string RegistryQueueLocations::DirectoryText(Queue queue) {
  const RegistryValue where = ValueOf(queue);
  std::string directory = ReadRegString(where.key, where.value);
  if (directory.empty()) {
    throw FileError(ErrorKind::kNotFound, kErrorNotFound,
                    RegistryValuePhrase(where.value) + " is empty", RegistryKeyName(where.key));
  }
  return directory;
}

std::filesystem::path RegistryQueueLocations::Directory(Queue queue) const {
  return LocalDirectoryPath(DirectoryText(queue));
}

std::string GetBadMailDirectory() {
  const RegistryValue where = ValueOf(Queue::kBadMail);
  return GetRegString(where.key, where.value);
}

std::string GetOutboundQueueDirectory() {
  const RegistryValue where = ValueOf(Queue::kOutbound);
  return GetRegString(where.key, where.value);
}

OpenedQueue OpenQueue(FileSystem& files, const QueueLocations& locations, Queue queue) {
  OpenedQueue opened;
  opened.commands = files.OpenDirectory(locations.Directory(queue));
  try {
    opened.messages = opened.commands->OpenDirectory(kMessagesDirectory);
  } catch (const FileError& error) {
    if (!IsFileNotFound(error)) throw;
  }
  return opened;
}

std::filesystem::path MessageFilePath(const QueueLocations& locations, Queue queue,
                                      const std::string& name) {
  const std::filesystem::path messages = locations.Directory(queue) / kMessagesDirectory;
  CheckBareName(name, messages);
  return messages / PathFromText(name);
}

}  // namespace velmoth
