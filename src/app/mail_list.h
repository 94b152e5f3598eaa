// What the window's commands need of the list of parked messages and of the busy
// pointer, which each front end's list provides, and the scan and the requeue as
// the window runs them over that list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/file_system.h"
#include "queue/bad_mail_scan.h"
#include "queue/requeue.h"
#include "time/utc_stamp.h"

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

// Appends one unticked row per entry, in their order, with its size and date.
void FillMailList(MailList& list, const std::vector<BadMailEntry>& entries);

// Rebuilds the list from a scan of the Bad Mail directory: one unticked row per
// candidate, in the order the directory lists them. Returns what the scan found
// unreadable. When the scan fails the list is left empty.
UnreadableFiles RefreshMailList(MailList& list, FileSystem& files, const QueueLocations& locations);

// Requeues the ticked rows in list order; one report per ticked row.
std::vector<RequeueRow> RequeueChecked(MailList& list, bool deleteParked, FileSystem& files,
                                       const QueueLocations& locations,
                                       const Clock& clock = SystemClock);

}  // namespace velmoth
