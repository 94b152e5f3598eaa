// The floors Velmoth's scan and requeue are measured against: the plainest loops
// that do the same I/O through POSIX calls, with no checks and no error handling.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace velmoth::bench {

// Enumerates the directory, opens each command file relative to it, reads its
// date and all its bytes, closes it and looks at its message file. Returns the
// number of command files whose message file is there.
std::size_t ScanFloor(const std::filesystem::path& badMail);

// The scan floor, then for each message file found its first 4 KB, where its
// header is: the I/O of velmoth-queue list, which shows each message's header.
std::size_t ListFloor(const std::filesystem::path& badMail);

// Copies the rows, writes the command files under temporary names, renames them,
// flushes the file system once, then deletes the parked files.
void RequeueFloor(const std::filesystem::path& badMail, const std::filesystem::path& outbound,
                  const std::vector<std::string>& names);

}  // namespace velmoth::bench
