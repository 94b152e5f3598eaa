// What a requeue cut short by a crash may leave of its messages: each one whole in
// Bad Mail, or whole in the outbound queue with or without what is left of its
// parked files; never a command file without its message, nor a partial file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "support/power_loss_file_system.h"

namespace velmoth::testing {

// A parked message as a test puts it there and as a requeue must write it.
struct ParkedMessage {
  std::string name;
  std::string command;          // the parked command file
  std::string message;          // the parked message file, copied as it is
  std::string requeuedCommand;  // the rewrite, each time stamp written as "#"
};

// `count` distinct messages of a realistic shape, each message file about
// `messageBytes` long.
std::vector<ParkedMessage> SampleMessages(std::size_t count, std::size_t messageBytes);

struct QueuePlaces {
  fs::path badMail;
  fs::path outbound;
};

// Where a message's files lie, as a Disk names them.
struct MessagePaths {
  fs::path parkedCommand;
  fs::path parkedMessage;
  fs::path command;
  fs::path message;
};
MessagePaths PathsOf(const QueuePlaces& places, const std::string& name);

// The files of both queues and their "messages" directories as they are on disk.
Disk ReadQueues(const QueuePlaces& places);

// What is wrong on `disk`, a sentence for each fault; empty when every message is
// in one of the states above and every other file is a temporary one in the
// outbound "messages" directory.
std::vector<std::string> CrashProblems(const Disk& disk, const QueuePlaces& places,
                                       const std::vector<ParkedMessage>& messages);

// Whether both files of `message` are whole in the outbound queue on `disk`.
bool WholeInOutbound(const Disk& disk, const QueuePlaces& places, const ParkedMessage& message);

}  // namespace velmoth::testing
