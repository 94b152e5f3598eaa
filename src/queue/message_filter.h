// Which parked messages a command or the window takes: filters on who a message is
// from, to whom and what about, matched in its header, and on its command file's
// date, the same for velmoth-queue's filters and the window's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/file_time.h"
#include "queue/message_header.h"

namespace velmoth {

// Conditions a message must all meet; an unset one is met by every message.
struct MessageFilter {
  // Text the decoded field must hold somewhere, case-folded (CaseFold) already:
  // `to` is looked for in To and in Cc, `match` in any of From, To, Cc and Subject.
  std::optional<std::string> from = {}, to = {}, subject = {}, match = {};
  // The command file's date must be at or after `after`, and before `before`.
  std::optional<FileDate> after = {}, before = {};

  bool Any() const { return NeedsHeader() || after || before; }
  bool NeedsHeader() const { return from || to || subject || match; }
};

// Whether a message meets every condition of `filter`. `header` is nothing when
// the message file could not be read, and then meets no header condition; `date`
// is nothing when the command file's date is unknown, and then meets no bound.
bool Passes(const MessageFilter& filter, const std::optional<MessageHeader>& header,
            std::optional<FileDate> date);

// The instant a bound names: "2026-12-07" (its first second), "2026-12-07 08:15",
// "2026-12-07 08:15:30", with "T" in place of the blank too, all in local time,
// or in UTC when a time is followed by "Z". Nothing for any other text, and for
// a date before 1970.
std::optional<FileDate> ParseDateBound(std::string_view text);

}  // namespace velmoth
