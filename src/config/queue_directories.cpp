// The queue directories from their registry values: a value that is missing,
// unreadable or empty is an error that names its key and value.
#include "config/queue_directories.h"

#include <string>

#include "base/file_error.h"
#include "config/local_path.h"
#include "config/registry_lookup.h"

namespace velmoth {
namespace {

std::filesystem::path DirectoryPath(const std::string& keyPath, const std::string& valueName) {
  const std::string directory = ReadRegString(keyPath, valueName);
  if (directory.empty()) {
    throw FileError(kErrorNotFound, RegistryValuePhrase(valueName) + " is empty",
                    RegistryKeyName(keyPath));
  }
  return LocalDirectoryPath(directory);
}

}  // namespace

std::filesystem::path BadMailDirectoryPath() { return DirectoryPath(kServerKey, kBadMailValue); }

std::filesystem::path OutboundQueueDirectoryPath() {
  return DirectoryPath(kSmtpConnectorKey, kOutboundQueueValue);
}

}  // namespace velmoth
