// The list of parked messages that the window shows, free of any toolkit: its
// rows in the order shown, each a requeue candidate as the scan found it with the
// operator's tick, the sort that orders them, and the one view that draws them,
// told of each change as it is made so that it redraws only what changed. Also
// the scan and the requeue as the window runs them over the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/file_system.h"
#include "queue/bad_mail_scan.h"
#include "queue/requeue.h"
#include "time/utc_stamp.h"

namespace velmoth {

struct MailRow {
  BadMailEntry entry;
  bool ticked = false;
  // Counts up as rows come into the list: the unsorted list shows them in this
  // order, and a sort keeps it among rows of equal keys.
  std::uint64_t arrival = 0;
};

enum class SortOrder { kAscending, kDescending };

// The sort column of a list in the order its rows came, as the directory listed them.
inline constexpr int kUnsorted = -1;

// What the list tells the view that draws it. Positions count from 0 in the order
// shown; of each pair, the first call comes before the rows change, the second
// after, so that a toolkit that keeps its own bookkeeping of rows can follow.
class MailListView {
 public:
  // Rows come in at [first, first + count).
  virtual void RowsAboutToBeInserted(std::size_t first, std::size_t count) = 0;
  virtual void RowsInserted(std::size_t first, std::size_t count) = 0;
  // The rows at [first, first + count) go.
  virtual void RowsAboutToBeRemoved(std::size_t first, std::size_t count) = 0;
  virtual void RowsRemoved(std::size_t first, std::size_t count) = 0;
  // A tick or an entry changed in the rows from `first` to `last`, both included.
  virtual void RowsChanged(std::size_t first, std::size_t last) = 0;
  // The rows change places, each keeping its tick.
  virtual void RowsAboutToBeReordered() = 0;
  // The row that stood at p stands at newPositions[p].
  virtual void RowsReordered(const std::vector<std::size_t>& newPositions) = 0;
  // The calls of a change to many rows at once come between these two, so that a
  // view that repaints as it goes may hold its painting until the change is done.
  virtual void BatchStarts() {}
  virtual void BatchEnds() {}

 protected:
  ~MailListView() = default;
};

class MailList {
 public:
  // `view`, when there is one, hears of every change and outlives the list.
  explicit MailList(MailListView* view = nullptr) : view_(view) {}
  MailList(const MailList&) = delete;
  MailList& operator=(const MailList&) = delete;

  std::size_t size() const { return rows_.size(); }
  // Throws std::out_of_range for a position past the last row.
  const MailRow& operator[](std::size_t position) const { return rows_.at(position); }

  // Every row gives way to one unticked row per entry, in the order of the sort
  // in force, or as the entries come when the list is unsorted.
  void Replace(std::vector<BadMailEntry> entries);

  // Brings the rows of `names` up to date with what a scan of them found: each
  // name among `found` has a row, a new one at its place in the sort in force
  // (at the end when unsorted) and unticked, one already there with its tick;
  // each name not among them has none. Every other row, its tick and its order
  // stay, and the view hears of the rows that changed alone.
  void Apply(const std::vector<std::string>& names, std::vector<BadMailEntry> found);
  // The same for every row: `all` is what a whole scan found.
  void Reconcile(std::vector<BadMailEntry> all);

  void SetTicked(std::size_t position, bool ticked);
  // Ticks or unticks the rows whose entry `picks` takes; the view hears once.
  void TickWhere(const std::function<bool(const BadMailEntry&)>& picks, bool ticked);
  // The positions of the ticked rows, in the order shown.
  std::vector<std::size_t> TickedRows() const;

  // Orders the rows by the cells of form::kColumns[column], or for kUnsorted
  // (or any column the form lacks) in the order they came. The order stays in
  // force for the rows that come later.
  void Sort(int column, SortOrder order);
  int sortColumn() const { return sortColumn_; }
  SortOrder sortOrder() const { return sortOrder_; }

 private:
  // Takes the row at `position` out of the list.
  MailRow TakeAt(std::size_t position);
  // Puts the row in at its place in the sort in force.
  void Insert(MailRow row);
  std::size_t PlaceOf(const MailRow& row) const;

  MailListView* view_;
  std::vector<MailRow> rows_;
  std::uint64_t arrivals_ = 0;
  int sortColumn_ = kUnsorted;
  SortOrder sortOrder_ = SortOrder::kAscending;
};

// Rebuilds the list from a scan of the Bad Mail directory: one unticked row per
// candidate. Returns what the scan found unreadable. When the scan fails the
// list is left empty.
UnreadableFiles RefreshMailList(MailList& list, FileSystem& files, const QueueLocations& locations);

// Requeues the ticked rows' messages in list order; one report per ticked row.
std::vector<RequeueRow> RequeueChecked(const MailList& list, bool deleteParked, FileSystem& files,
                                       const QueueLocations& locations,
                                       const Clock& clock = SystemClock);

}  // namespace velmoth
