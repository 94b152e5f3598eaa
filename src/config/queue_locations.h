// Where the mail server keeps its two queues, as a value that travels to
// everything that works on them: the registry-backed one reads the server's
// registry values afresh each time it is asked, a fixed one stands for a server
// whose directories are known. A queue is a directory holding the command files,
// with the message files of the same names in its "messages" subdirectory.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

// The keys and values the errors name: kServerKey and kBadMailValue,
// kSmtpConnectorKey and kOutboundQueueValue, and a key's RegistryKeyName.
#include "config/registry.h"
#include "files/file_system.h"

namespace velmoth {

enum class Queue { kBadMail, kOutbound };

inline constexpr char kMessagesDirectory[] = "messages";

class QueueLocations {
 public:
  virtual ~QueueLocations() = default;
  // The queue's directory as a path this process can open, or a FileError
  // saying why there is none.
  virtual std::filesystem::path Directory(Queue queue) const = 0;
};

// The directories the server's registry values name, mapped by
// LocalDirectoryPath. A value that cannot be read (see ReadRegString) or is
// empty (kErrorNotFound, `The registry value "Bad Mail Directory" is empty`)
// throws a FileError whose path is the key's RegistryKeyName; a text that names
// no directory this process can reach throws LocalDirectoryPath's FileError.
class RegistryQueueLocations final : public QueueLocations {
 public:
  std::filesystem::path Directory(Queue queue) const override;
  // The value's text as the server stores it, with the same errors.
  static std::string DirectoryText(Queue queue);
};

class FixedQueueLocations final : public QueueLocations {
 public:
  FixedQueueLocations(std::filesystem::path badMail, std::filesystem::path outbound)
      : badMail_(std::move(badMail)), outbound_(std::move(outbound)) {}
  std::filesystem::path Directory(Queue queue) const override {
    return queue == Queue::kBadMail ? badMail_ : outbound_;
  }

 private:
  std::filesystem::path badMail_;
  std::filesystem::path outbound_;
};

// The registry values' texts, or empty text for any failure.
std::string GetBadMailDirectory();
std::string GetOutboundQueueDirectory();

// A queue directory held open, following links on the way to it, and its
// "messages" subdirectory opened from it, never through a link: null when there
// is none.
struct OpenedQueue {
  std::unique_ptr<Directory> commands;
  std::unique_ptr<Directory> messages;
};
OpenedQueue OpenQueue(FileSystem& files, const QueueLocations& locations, Queue queue);

// The path of the message file `name` in the queue, for a program that opens it
// by path (the viewer); `name` must be one name.
std::filesystem::path MessageFilePath(const QueueLocations& locations, Queue queue,
                                      const std::string& name);

}  // namespace velmoth
