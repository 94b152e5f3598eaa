// A list of parked messages held in memory, standing in for a window's list.
#pragma once

#include <string>
#include <vector>

#include "app/mail_list.h"

namespace velmoth {

struct MemoryRow {
  std::string key;
  std::string text;
  std::uint64_t size = 0;
  FileDate date{};
  bool ticked = false;
};

class MemoryMailList : public MailList {
 public:
  void RemoveAllRows() override { rows.clear(); }
  void AddRow(const std::string& key, const std::string& text) override {
    rows.push_back({key, text});
  }
  void SetSize(int row, std::uint64_t bytes) override { At(row).size = bytes; }
  void SetDate(int row, FileDate date) override { At(row).date = date; }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  bool IsTicked(int row) const override { return rows.at(row - 1).ticked; }
  void SetTicked(int row, bool ticked) override { At(row).ticked = ticked; }
  std::string RowText(int row) const override { return rows.at(row - 1).text; }
  int SelectedRow() const override { return selected; }
  void SetBusyPointer(bool busy) override { pointerLog.push_back(busy); }

  std::vector<MemoryRow> rows;
  int selected = 0;
  std::vector<bool> pointerLog;

 private:
  MemoryRow& At(int row) { return rows.at(static_cast<std::size_t>(row - 1)); }
};

}  // namespace velmoth
