// Counting the file layer's calls by kind, and choosing the one that goes wrong.
#include "support/system_call_faults.h"

namespace velmoth::testing {

const char* CallKindName(CallKind kind) {
  switch (kind) {
    case CallKind::kOpen:
      return "open";
    case CallKind::kRead:
      return "read";
    case CallKind::kShortRead:
      return "short read";
    case CallKind::kWrite:
      return "write to a full disk";
    case CallKind::kCopy:
      return "copy in the kernel";
    case CallKind::kFlushFile:
      return "flush of a file";
    case CallKind::kFlushDirectory:
      return "flush of a directory";
    case CallKind::kFlushFileSystem:
      return "flush of the file system";
    case CallKind::kRename:
      return "rename";
    case CallKind::kDelete:
      break;
  }
  return "delete";
}

void SystemCallFaults::Break(CallKind kind, std::size_t nth) {
  kind_ = kind;
  nth_ = nth;
  broke_ = false;
  brokenName_.clear();
  counts_.clear();
}

std::size_t SystemCallFaults::count(CallKind kind) const {
  const auto found = counts_.find(kind);
  return found == counts_.end() ? 0 : found->second;
}

bool SystemCallFaults::Next(CallKind kind, const char* name) {
  const std::size_t before = counts_[kind]++;
  if (this->before && kind != CallKind::kShortRead && kind != CallKind::kCopy) {
    this->before(kind, before);
  }
  if (kind != kind_ || before + 1 != nth_) return false;
  broke_ = true;
  if (name != nullptr) brokenName_ = name;
  return true;
}

}  // namespace velmoth::testing
