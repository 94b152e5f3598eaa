// The requeue candidates summed up by group: by the domains they are sent to, by
// the domain they come from, or by the local day of their command file; each
// group with its messages' count, their size, and how many are how old.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/file_time.h"
#include "queue/bad_mail_scan.h"
#include "queue/message_filter.h"
#include "queue/message_header.h"

namespace velmoth {

enum class SummaryGrouping {
  kToDomain,    // the domains of the addresses in To and Cc
  kFromDomain,  // the domains of the addresses in From
  kDay,         // the command file's date, "2026-12-07" in local time
};

// A message's age is the time from its command file's date to now. It is counted
// below the first of these bounds it is below, and past the last one when it is
// below none; a date after now counts as below an hour.
inline constexpr std::array<std::chrono::seconds, 6> kAgeBounds = {
    std::chrono::hours(1), std::chrono::hours(6), std::chrono::days(1),
    std::chrono::days(3),  std::chrono::days(7),  std::chrono::days(30)};
inline constexpr std::size_t kAgeCount = kAgeBounds.size() + 1;

// The group of a message that has no domain in the field grouped by: no address
// with an "@" there, or a header that could not be read.
inline constexpr std::string_view kNoDomainGroup = "(none)";

struct SummaryCounts {
  std::uint64_t count = 0;
  std::uint64_t bytes = 0;                      // of the message files
  std::array<std::uint64_t, kAgeCount> ages{};  // by kAgeBounds
};

struct SummaryGroup {
  std::string name;  // a domain in lower case, kNoDomainGroup, or a day
  SummaryCounts counts;
};

struct CandidateSummary {
  std::vector<SummaryGroup> groups;  // the most messages first, then by name
  SummaryCounts total;               // each message once, however many groups it is in
};

// Sums messages up one at a time. A message sent to several domains counts once
// in each; domains are compared in ASCII lower case.
class SummaryTally {
 public:
  SummaryTally(SummaryGrouping by, FileDate now) : by_(by), now_(now) {}

  // Counts a message of `size` bytes whose command file is dated `date`; by a
  // domain, in those of `addresses`, which is null when its header could not be read.
  void Add(std::uint64_t size, FileDate date, const MessageAddresses* addresses);
  CandidateSummary Result() const;

 private:
  struct Hash : std::hash<std::string_view> {
    using is_transparent = void;
  };

  void AddTo(std::string_view group, std::uint64_t size, std::size_t age);
  std::string DayOf(FileDate date) const;

  const SummaryGrouping by_;
  const FileDate now_;
  SummaryCounts total_;
  std::vector<SummaryGroup> groups_;
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> index_;  // in groups_
  std::vector<std::size_t> counted_;  // the groups the message being added is in
  std::string domain_;
};

// The candidates that pass `filter`, summed up by `by` as at `now`; their headers
// are read through `headers` when the filter or the grouping needs them.
CandidateSummary SummarizeCandidates(const std::vector<BadMailEntry>& candidates,
                                     SummaryGrouping by, const MessageFilter& filter,
                                     ParkedHeaders& headers, FileDate now);

}  // namespace velmoth
