// The rules for command files, the delivery-state half of a queued message:
// the line key, the test that decides whether a parked message may be requeued,
// and the rewrite that resets a line's delivery state.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace velmoth {

// Text up to and including the first "=", in upper case; empty without "=".
std::string GetLineKey(std::string_view line);

// True unless some line holds "Status=Spooling" or "CommandType=NDR", in any
// letter case and anywhere in the line. Reads the whole file.
bool IsRequeueCandidate(const std::filesystem::path& commandFile);

// The requeue time stamp, in decimal.
using StampProducer = std::function<std::string()>;

// The line a requeue writes for `line`: the delivery-state keys are reset, every
// other line is returned unchanged. `stamp` is called once per time-key line.
std::string RewriteLine(std::string_view line, const StampProducer& stamp);

}  // namespace velmoth
