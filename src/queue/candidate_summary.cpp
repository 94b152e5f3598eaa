// The summary's groups, kept in the order they first appear and found again by
// name, each message's domains counted once; sorted only when the summary is
// asked for.
#include "queue/candidate_summary.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "base/ascii_text.h"
#include "time/utc_stamp.h"

namespace velmoth {
namespace {

// The age bucket of a command file dated `date` at `now`.
std::size_t AgeOf(FileDate date, FileDate now) {
  return std::upper_bound(kAgeBounds.begin(), kAgeBounds.end(), now - date) - kAgeBounds.begin();
}

// The domain of `address` into `domain`, in lower case: what follows its last
// "@". False when it has none.
bool DomainOf(std::string_view address, std::string& domain) {
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos || at + 1 == address.size()) return false;
  domain.clear();
  for (const char c : address.substr(at + 1)) domain += AsciiLower(c);
  return true;
}

std::string DayText(int year, int month, int day) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

}  // namespace

void SummaryTally::Add(std::uint64_t size, FileDate date, const MessageAddresses* addresses) {
  const std::size_t age = AgeOf(date, now_);
  ++total_.count;
  total_.bytes += size;
  ++total_.ages[age];
  counted_.clear();
  if (by_ == SummaryGrouping::kDay) return AddTo(DayOf(date), size, age);
  if (addresses) {
    const auto& field = by_ == SummaryGrouping::kToDomain ? addresses->recipients : addresses->from;
    for (const std::string& address : field) {
      if (DomainOf(address, domain_)) AddTo(domain_, size, age);
    }
  }
  if (counted_.empty()) AddTo(kNoDomainGroup, size, age);
}

// Counts the message being added in `group`, unless it is counted there already.
void SummaryTally::AddTo(std::string_view group, std::uint64_t size, std::size_t age) {
  auto found = index_.find(group);
  if (found == index_.end()) {
    found = index_.emplace(group, groups_.size()).first;
    groups_.push_back({std::string(group), {}});
  }
  if (std::find(counted_.begin(), counted_.end(), found->second) != counted_.end()) return;
  counted_.push_back(found->second);
  SummaryCounts& counts = groups_[found->second].counts;
  ++counts.count;
  counts.bytes += size;
  ++counts.ages[age];
}

// The local day of `date`; the UTC day for a date the platform's zone rules
// cannot place, which a file's date far in the future may be.
std::string SummaryTally::DayOf(FileDate date) const {
  try {
    const DateTime local = LocalDateTimeAt(date.time_since_epoch().count());
    return DayText(local.year, local.month, local.day);
  } catch (const std::exception&) {
    const std::chrono::year_month_day utc{std::chrono::floor<std::chrono::days>(date)};
    return DayText(static_cast<int>(utc.year()), static_cast<int>(unsigned(utc.month())),
                   static_cast<int>(unsigned(utc.day())));
  }
}

CandidateSummary SummaryTally::Result() const {
  CandidateSummary summary{groups_, total_};
  std::sort(summary.groups.begin(), summary.groups.end(), [](const auto& a, const auto& b) {
    if (a.counts.count != b.counts.count) return a.counts.count > b.counts.count;
    return a.name < b.name;
  });
  return summary;
}

CandidateSummary SummarizeCandidates(const std::vector<BadMailEntry>& candidates,
                                     SummaryGrouping by, const MessageFilter& filter,
                                     ParkedHeaders& headers, FileDate now) {
  SummaryTally tally(by, now);
  const bool byDomain = by != SummaryGrouping::kDay;
  MessageAddresses addresses;
  for (const BadMailEntry& entry : candidates) {
    addresses.from.clear();
    addresses.recipients.clear();
    std::optional<MessageHeader> header;
    if (byDomain || filter.NeedsHeader()) {
      header = headers.Read(entry.name, byDomain ? &addresses : nullptr);
    }
    if (!Passes(filter, header, entry.date)) continue;
    tally.Add(entry.size, entry.date, header ? &addresses : nullptr);
  }
  return tally.Result();
}

}  // namespace velmoth
