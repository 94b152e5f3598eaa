// The rows of any window's list read back through MailList: their texts in list
// order or sorted, and the row that shows a name.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "app/mail_list.h"

namespace velmoth::testing {

inline std::vector<std::string> RowTexts(const MailList& list) {
  std::vector<std::string> texts;
  for (int row = 1; row <= list.RowCount(); ++row) texts.push_back(list.RowText(row));
  return texts;
}

// For lists filled in the order the directory gives, which no test can know.
inline std::vector<std::string> SortedRowTexts(const MailList& list) {
  std::vector<std::string> texts = RowTexts(list);
  std::sort(texts.begin(), texts.end());
  return texts;
}

// The row that shows `text`, counting from 1; 0 when none does.
inline int RowOf(const MailList& list, const std::string& text) {
  for (int row = 1; row <= list.RowCount(); ++row) {
    if (list.RowText(row) == text) return row;
  }
  return 0;
}

}  // namespace velmoth::testing
