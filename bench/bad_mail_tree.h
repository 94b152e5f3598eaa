// A realistic Bad Mail directory for benchmarks: command files of about twenty
// CR LF lines, message files of 2 to 50 KB of mail text, some spooled, some
// non-delivery reports, a few orphans on either side, from a fixed seed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmoth::bench {

struct BadMailTree {
  std::vector<std::string> candidates;  // the names a scan must list
  std::uint64_t messageBytes = 0;       // of the candidates' message files
};

// Parks `count` messages in `badMail` (which holds a "messages" directory).
BadMailTree ParkMessages(const std::filesystem::path& badMail, int count, std::uint32_t seed = 1);

// Parks a requeue candidate of each name, as the server parks a failed message:
// its message file, then its command file.
void ParkCandidates(const std::filesystem::path& badMail, const std::vector<std::string>& names,
                    std::uint32_t seed = 2);

}  // namespace velmoth::bench
