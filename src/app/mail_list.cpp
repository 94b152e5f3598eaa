// The rows of the window's list. Sort keys are made once per row for a sort, not
// at every comparison, so that a hundred thousand names sort in a blink; the view
// hears of a whole scan's rows in one insertion.
#include "app/mail_list.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>

#include "app/form.h"
#include "base/case_fold.h"

namespace velmoth {
namespace {

// What a column's cells sort by: text by its case folding and, between texts
// that differ only in letter case, by its bytes; numbers and dates by value.
using SortKey = std::variant<std::pair<std::string, std::string_view>, std::uint64_t, FileDate>;

SortKey SortKeyOf(const form::Cell& cell) {
  if (const auto* text = std::get_if<std::string_view>(&cell)) {
    return std::pair(CaseFold(*text), *text);
  }
  if (const auto* number = std::get_if<std::uint64_t>(&cell)) return *number;
  return std::get<FileDate>(cell);
}

// The positions of `rows` in the order of `column`; rows of equal keys, and every
// row when the list is unsorted, in the order they came.
std::vector<std::size_t> SortedOrder(const std::vector<MailRow>& rows, int column,
                                     SortOrder order) {
  std::vector<std::size_t> positions(rows.size());
  std::iota(positions.begin(), positions.end(), 0);
  const auto byArrival = [&rows](std::size_t a, std::size_t b) {
    return rows[a].arrival < rows[b].arrival;
  };
  if (column == kUnsorted) {
    std::sort(positions.begin(), positions.end(), byArrival);
    return positions;
  }
  std::vector<SortKey> keys;
  keys.reserve(rows.size());
  for (const MailRow& row : rows) keys.push_back(SortKeyOf(form::kColumns[column].cell(row.entry)));
  const bool descending = order == SortOrder::kDescending;
  std::sort(positions.begin(), positions.end(), [&](std::size_t a, std::size_t b) {
    const auto compared = keys[a] <=> keys[b];
    if (compared != 0) return descending ? compared > 0 : compared < 0;
    return byArrival(a, b);
  });
  return positions;
}

// `rows` in the order of `column`, and where each row went: the row that stood at
// p stands at the second's [p].
std::pair<std::vector<MailRow>, std::vector<std::size_t>> Reordered(std::vector<MailRow> rows,
                                                                    int column, SortOrder order) {
  const std::vector<std::size_t> sorted = SortedOrder(rows, column, order);
  std::vector<MailRow> reordered;
  reordered.reserve(rows.size());
  std::vector<std::size_t> newPositions(rows.size());
  for (std::size_t position = 0; position < sorted.size(); ++position) {
    newPositions[sorted[position]] = position;
    reordered.push_back(std::move(rows[sorted[position]]));
  }
  return {std::move(reordered), std::move(newPositions)};
}

// Brackets a change to many rows for the view, for as long as it lives.
class Batch {
 public:
  explicit Batch(MailListView* view) : view_(view) {
    if (view_) view_->BatchStarts();
  }
  ~Batch() {
    if (view_) view_->BatchEnds();
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

 private:
  MailListView* view_;
};

}  // namespace

void MailList::Replace(std::vector<BadMailEntry> entries) {
  const Batch batch(view_);
  if (!rows_.empty()) {
    const std::size_t count = rows_.size();
    if (view_) view_->RowsAboutToBeRemoved(0, count);
    rows_.clear();
    if (view_) view_->RowsRemoved(0, count);
  }
  if (entries.empty()) return;
  std::vector<MailRow> rows;
  rows.reserve(entries.size());
  for (BadMailEntry& entry : entries) rows.push_back({std::move(entry), false, arrivals_++});
  if (sortColumn_ != kUnsorted) rows = Reordered(std::move(rows), sortColumn_, sortOrder_).first;
  if (view_) view_->RowsAboutToBeInserted(0, rows.size());
  rows_ = std::move(rows);
  if (view_) view_->RowsInserted(0, rows_.size());
}

void MailList::Apply(const std::vector<std::string>& names, std::vector<BadMailEntry> found) {
  const Batch batch(view_);
  std::unordered_map<std::string_view, BadMailEntry*> byName;
  for (BadMailEntry& entry : found) byName.emplace(entry.name, &entry);
  std::unordered_set<std::string_view> changed(names.begin(), names.end());
  for (const BadMailEntry& entry : found) changed.insert(entry.name);
  // Rows of the names, gone or changed, leave, and come back below with their
  // tick where they are still found; an unchanged row stays as it is.
  std::unordered_map<std::string, MailRow> leaving;
  for (std::size_t position = rows_.size(); position-- > 0;) {
    MailRow& row = rows_[position];
    if (!changed.contains(row.entry.name)) continue;
    const auto now = byName.find(row.entry.name);
    if (now != byName.end() && *now->second == row.entry) {
      byName.erase(now);
      continue;
    }
    MailRow taken = TakeAt(position);
    if (now != byName.end()) leaving.emplace(taken.entry.name, std::move(taken));
  }
  for (BadMailEntry& entry : found) {
    if (!byName.contains(entry.name)) continue;
    const auto kept = leaving.find(entry.name);
    MailRow row = kept == leaving.end() ? MailRow{{}, false, arrivals_++} : std::move(kept->second);
    row.entry = std::move(entry);
    Insert(std::move(row));
  }
}

void MailList::Reconcile(std::vector<BadMailEntry> all) {
  std::vector<std::string> names;
  names.reserve(rows_.size());
  for (const MailRow& row : rows_) names.push_back(row.entry.name);
  Apply(names, std::move(all));
}

MailRow MailList::TakeAt(std::size_t position) {
  if (view_) view_->RowsAboutToBeRemoved(position, 1);
  MailRow taken = std::move(rows_[position]);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position));
  if (view_) view_->RowsRemoved(position, 1);
  return taken;
}

void MailList::Insert(MailRow row) {
  const std::size_t position = PlaceOf(row);
  if (view_) view_->RowsAboutToBeInserted(position, 1);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
  if (view_) view_->RowsInserted(position, 1);
}

std::size_t MailList::PlaceOf(const MailRow& row) const {
  const auto before = [this](const MailRow& a, const MailRow& b) {
    if (sortColumn_ != kUnsorted) {
      const auto& cell = form::kColumns[sortColumn_].cell;
      const auto compared = SortKeyOf(cell(a.entry)) <=> SortKeyOf(cell(b.entry));
      if (compared != 0) return sortOrder_ == SortOrder::kDescending ? compared > 0 : compared < 0;
    }
    return a.arrival < b.arrival;
  };
  return static_cast<std::size_t>(std::upper_bound(rows_.begin(), rows_.end(), row, before) -
                                  rows_.begin());
}

void MailList::SetTicked(std::size_t position, bool ticked) {
  MailRow& row = rows_.at(position);
  if (row.ticked == ticked) return;
  row.ticked = ticked;
  if (view_) view_->RowsChanged(position, position);
}

void MailList::TickWhere(const std::function<bool(const BadMailEntry&)>& picks, bool ticked) {
  const Batch batch(view_);
  std::size_t first = rows_.size();
  std::size_t last = 0;
  for (std::size_t position = 0; position < rows_.size(); ++position) {
    MailRow& row = rows_[position];
    if (row.ticked == ticked || !picks(row.entry)) continue;
    row.ticked = ticked;
    first = std::min(first, position);
    last = position;
  }
  if (view_ && first < rows_.size()) view_->RowsChanged(first, last);
}

std::vector<std::size_t> MailList::TickedRows() const {
  std::vector<std::size_t> ticked;
  for (std::size_t position = 0; position < rows_.size(); ++position) {
    if (rows_[position].ticked) ticked.push_back(position);
  }
  return ticked;
}

void MailList::Sort(int column, SortOrder order) {
  sortColumn_ = column >= 0 && column < form::kColumnCount ? column : kUnsorted;
  sortOrder_ = order;
  if (rows_.size() < 2) return;
  const Batch batch(view_);
  if (view_) view_->RowsAboutToBeReordered();
  auto [rows, newPositions] = Reordered(std::move(rows_), sortColumn_, sortOrder_);
  rows_ = std::move(rows);
  if (view_) view_->RowsReordered(newPositions);
}

UnreadableFiles RefreshMailList(MailList& list, FileSystem& files,
                                const QueueLocations& locations) {
  list.Replace({});
  BadMailScan scan = ScanBadMail(files, locations);
  const UnreadableFiles unreadable = CountUnreadable(scan);
  list.Replace(std::move(scan.candidates));
  return unreadable;
}

std::vector<RequeueRow> RequeueChecked(const MailList& list, bool deleteParked, FileSystem& files,
                                       const QueueLocations& locations, const Clock& clock) {
  std::vector<std::string> names;
  for (const std::size_t position : list.TickedRows()) names.push_back(list[position].entry.name);
  RequeueOptions options;
  options.deleteParked = deleteParked;
  options.clock = clock;
  return Requeue(names, options, files, locations);
}

}  // namespace velmoth
