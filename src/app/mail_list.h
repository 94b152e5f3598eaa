// What the scan, the requeue and the window handlers need of the list of parked
// messages and of the busy pointer. Each front end's list model implements it.
#pragma once

#include <cstdint>
#include <string>

#include "queue/file_system.h"

namespace velmoth {

class MailList {
 public:
  virtual ~MailList() = default;

  // Rows count from 1 up to RowCount().
  virtual void RemoveAllRows() = 0;
  // Appends an unticked row after the existing ones.
  virtual void AddRow(const std::string& key, const std::string& text) = 0;
  // Sub-item 1: the message file's size, shown in decimal.
  virtual void SetSize(int row, std::uint64_t bytes) = 0;
  // Sub-item 2: the command file's date, shown in the user's date-and-time format.
  virtual void SetDate(int row, FileDate date) = 0;
  virtual int RowCount() const = 0;
  virtual bool IsTicked(int row) const = 0;
  virtual void SetTicked(int row, bool ticked) = 0;
  virtual std::string RowText(int row) const = 0;
  // The selected row, or 0 when none is.
  virtual int SelectedRow() const = 0;
  // The hourglass over the whole application while a scan or requeue runs.
  virtual void SetBusyPointer(bool busy) = 0;
};

// Shows the hourglass for as long as it lives.
class BusyPointer {
 public:
  explicit BusyPointer(MailList& list) : list_(list) { list_.SetBusyPointer(true); }
  ~BusyPointer() { list_.SetBusyPointer(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  MailList& list_;
};

}  // namespace velmoth
