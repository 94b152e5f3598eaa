// The rules for command files, the delivery-state half of a queued message: the
// line key, the candidate test that decides whether a parked message may be
// requeued, and the rewrite that resets a message's delivery state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "files/file_system.h"

namespace velmoth {

// Text up to and including the first "=", in upper case; empty without "=".
std::string GetLineKey(std::string_view line);

// What the candidate test finds in a command file: nothing that keeps the
// message back, a line holding "Status=Spooling" (the server is sending it), or
// one holding "CommandType=NDR" (it is a non-delivery report). Letter case is
// ignored and the marker may stand anywhere in a line.
enum class CommandFileVerdict { kCandidate, kSpooling, kNonDeliveryReport };

inline bool IsRequeueCandidate(CommandFileVerdict verdict) {
  return verdict == CommandFileVerdict::kCandidate;
}

// The candidate test over the whole file.
CommandFileVerdict ReadCommandFileVerdict(InputFile& commandFile);

// The requeue time stamp, in decimal.
using StampProducer = std::function<std::string()>;

// The line a requeue writes for `line`: the delivery-state keys are reset, every
// other line is returned unchanged. `stamp` is called once per time-key line.
std::string RewriteLine(std::string_view line, const StampProducer& stamp);

// Writes the rewrite of every line of `source` to `destination`, each ended with
// CR LF, in bounded blocks however long a line is, and returns the candidate
// test's verdict on the same bytes, and in `bytesRead` how many there were. Does
// not close `destination`.
CommandFileVerdict RewriteCommandFile(InputFile& source, OutputFile& destination,
                                      const StampProducer& stamp,
                                      std::uint64_t* bytesRead = nullptr);

}  // namespace velmoth
