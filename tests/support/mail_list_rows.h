// The rows of the window's list read back: their names in list order or sorted,
// and the row that shows a name.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "app/mail_list.h"

namespace velmoth::testing {

inline std::vector<std::string> RowNames(const MailList& list) {
  std::vector<std::string> names;
  for (std::size_t position = 0; position < list.size(); ++position) {
    names.push_back(list[position].entry.name);
  }
  return names;
}

// For lists filled in the order the directory gives, which no test can know.
inline std::vector<std::string> SortedRowNames(const MailList& list) {
  std::vector<std::string> names = RowNames(list);
  std::sort(names.begin(), names.end());
  return names;
}

// The position of the row that shows `name`; list.size() when none does.
inline std::size_t RowOf(const MailList& list, const std::string& name) {
  const std::vector<std::string> names = RowNames(list);
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

}  // namespace velmoth::testing
