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

}  // namespace velmoth::bench
