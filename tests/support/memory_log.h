// A system log held in memory: the records written to it, and a failure it may
// give instead of taking them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "log/system_log.h"

namespace velmoth::testing {

struct MemoryLog final : SystemLog {
  std::optional<FileError> Write(Severity severity, RecordKind, std::string_view text) override {
    if (refusal) return refusal;
    severities.push_back(severity);
    records.emplace_back(text);
    return std::nullopt;
  }

  std::optional<FileError> refusal;
  std::vector<Severity> severities;
  std::vector<std::string> records;
};

}  // namespace velmoth::testing
