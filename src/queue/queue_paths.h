// The two queue directories and the paths of a message's two files in them: the
// command file in the directory, the message file in its "messages" subdirectory.
// Every path is built from a fresh registry lookup.
#pragma once

#include <filesystem>
#include <string>

namespace velmoth {

enum class Queue { kBadMail, kOutbound };

// The queue's directory as a local path. Throws a FileError naming the registry
// key and value when the server has no directory configured for it.
std::filesystem::path QueueDirectory(Queue queue);

// The queue's "messages" subdirectory.
std::filesystem::path MessagesDirectory(Queue queue);

// `name` must be a bare file name: one that cannot reach outside the directory.
std::filesystem::path MessageFilePath(Queue queue, const std::string& name);

// Both files of `name` from one lookup, so that a registry rewritten meanwhile
// can never put them in two directories.
struct QueueFiles {
  std::filesystem::path command;
  std::filesystem::path message;
};
QueueFiles FilesOf(Queue queue, const std::string& name);

}  // namespace velmoth
