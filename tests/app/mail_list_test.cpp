// The window's list of parked messages, free of any toolkit: how a click on each
// column's header orders the rows, that ticks stay with their messages, and what
// its view is told of each change.
#include "app/mail_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form.h"
#include "support/mail_list_rows.h"

namespace velmoth {
namespace {

using std::chrono::seconds;
using testing::RowNames;
using Names = std::vector<std::string>;

// Every call a view hears, as text: "insert 0 3", "inserted", "changed 1 2", ...
class RecordingView final : public MailListView {
 public:
  void RowsAboutToBeInserted(std::size_t first, std::size_t count) override {
    Note("insert " + std::to_string(first) + " " + std::to_string(count));
  }
  void RowsInserted(std::size_t, std::size_t) override { Note("inserted"); }
  void RowsAboutToBeRemoved(std::size_t first, std::size_t count) override {
    Note("remove " + std::to_string(first) + " " + std::to_string(count));
  }
  void RowsRemoved(std::size_t, std::size_t) override { Note("removed"); }
  void RowsChanged(std::size_t first, std::size_t last) override {
    Note("changed " + std::to_string(first) + " " + std::to_string(last));
  }
  void RowsAboutToBeReordered() override { Note("reorder"); }
  void RowsReordered(const std::vector<std::size_t>& newPositions) override {
    std::string text = "reordered";
    for (const std::size_t position : newPositions) (text += ' ') += std::to_string(position);
    Note(text);
  }

  std::vector<std::string> calls;

 private:
  void Note(std::string call) { calls.push_back(std::move(call)); }
};

// In the order the scan gives: text order would put 10 before 9, "Beta" before
// "alpha", and "12/..." before "2/..." as dates are written.
std::vector<BadMailEntry> Scanned() {
  return {{"charlie", 10, FileDate(seconds(1764990000))},
          {"alpha", 9, FileDate(seconds(1770000000))},
          {"Beta", 100, FileDate(seconds(1700000000))},
          {"beta", 9, FileDate(seconds(1764990000))}};
}

TEST(MailList, EachColumnSortsByItsCellsNamesWithoutLetterCaseAndEqualKeysAsTheyCame) {
  const struct {
    const char* column;
    SortOrder order;
    Names expected;
  } cases[] = {
      {"Filename", SortOrder::kAscending, {"alpha", "Beta", "beta", "charlie"}},
      {"Filename", SortOrder::kDescending, {"charlie", "beta", "Beta", "alpha"}},
      {"File size", SortOrder::kAscending, {"alpha", "beta", "charlie", "Beta"}},
      {"File size", SortOrder::kDescending, {"Beta", "charlie", "alpha", "beta"}},
      {"File date", SortOrder::kAscending, {"Beta", "charlie", "beta", "alpha"}},
      {nullptr, SortOrder::kAscending, {"charlie", "alpha", "Beta", "beta"}},
  };
  MailList list;
  list.Replace(Scanned());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column ? c.column : "unsorted");
    list.Sort(c.column ? form::ColumnIndex(c.column) : kUnsorted, c.order);
    EXPECT_EQ(RowNames(list), c.expected);
  }
}

TEST(MailList, TicksStayWithTheirMessagesAcrossASortAndARescanComesInSortedAndUnticked) {
  MailList list;
  list.Replace(Scanned());
  list.SetTicked(0, true);  // charlie
  list.Sort(form::ColumnIndex("File size"), SortOrder::kDescending);
  EXPECT_EQ(list.TickedRows(), std::vector<std::size_t>{1});
  EXPECT_EQ(list[1].entry.name, "charlie");

  list.Replace(Scanned());
  EXPECT_EQ(RowNames(list), (Names{"Beta", "charlie", "alpha", "beta"}));
  EXPECT_TRUE(list.TickedRows().empty());
  EXPECT_THROW(list[4], std::out_of_range);
  EXPECT_THROW(list.SetTicked(4, true), std::out_of_range);
}

TEST(MailList, ItsViewHearsOfEachChangeOnceAndOnlyOfTheRowsItTouched) {
  RecordingView view;
  MailList list(&view);
  const auto named = [](const char* name) {
    return [name](const BadMailEntry& entry) { return entry.name == name; };
  };
  const struct {
    const char* what;
    std::function<void()> change;
    Names calls;
  } cases[] = {
      {"the first scan", [&] { list.Replace(Scanned()); }, {"insert 0 4", "inserted"}},
      {"a tick", [&] { list.SetTicked(2, true); }, {"changed 2 2"}},
      {"the same tick", [&] { list.SetTicked(2, true); }, {}},
      {"the rows a pick takes", [&] { list.TickWhere(named("alpha"), true); }, {"changed 1 1"}},
      {"a pick of every row",
       [&] { list.TickWhere([](auto&) { return true; }, true); },
       {"changed 0 3"}},
      {"a pick of no row", [&] { list.TickWhere(named("nowhere"), false); }, {}},
      {"a sort",
       [&] { list.Sort(form::ColumnIndex("Filename"), SortOrder::kAscending); },
       {"reorder", "reordered 3 0 1 2"}},
      {"a rescan",
       [&] {
         list.Replace({{"delta", 1, FileDate{}}});
       },
       {"remove 0 4", "removed", "insert 0 1", "inserted"}},
      {"an empty rescan", [&] { list.Replace({}); }, {"remove 0 1", "removed"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    view.calls.clear();
    c.change();
    EXPECT_EQ(view.calls, c.calls);
  }
}

// What a watcher saw change, applied row by row: a new row at its place in the
// sort, a gone row out, a changed row keeping its tick, every other row left
// alone and unheard of; and a whole rescan reconciled the same way.
TEST(MailList, UpdatesOnlyTheRowsOfTheNamesThatChanged) {
  const auto at = [](std::int64_t second) { return FileDate(seconds(second)); };
  const struct {
    const char* what;
    int column;  // the sort in force
    Names names;
    std::vector<BadMailEntry> found;
    Names rows;
    Names ticked;
    Names calls;
  } cases[] = {
      {"a new row, unsorted",
       kUnsorted,
       {"delta"},
       {{"delta", 5, at(1)}},
       {"charlie", "alpha", "Beta", "beta", "delta"},
       {"alpha"},
       {"insert 4 1", "inserted"}},
      {"a new row, sorted by name",
       form::ColumnIndex("Filename"),
       {"bravo"},
       {{"bravo", 5, at(1)}},
       {"alpha", "Beta", "beta", "bravo", "charlie"},
       {"alpha"},
       {"insert 3 1", "inserted"}},
      {"a row gone",
       kUnsorted,
       {"alpha"},
       {},
       {"charlie", "Beta", "beta"},
       {},
       {"remove 1 1", "removed"}},
      {"a ticked row changed, sorted by size",
       form::ColumnIndex("File size"),
       {"alpha"},
       {{"alpha", 1000, at(1)}},
       {"beta", "charlie", "Beta", "alpha"},
       {"alpha"},
       {"remove 0 1", "removed", "insert 3 1", "inserted"}},
      {"names unchanged, and one not listed that is no candidate",
       kUnsorted,
       {"charlie", "nowhere"},
       {{"charlie", 10, at(1764990000)}},
       {"charlie", "alpha", "Beta", "beta"},
       {"alpha"},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingView view;
    MailList list(&view);
    list.Replace(Scanned());
    list.Sort(c.column, SortOrder::kAscending);
    list.TickWhere([](const BadMailEntry& entry) { return entry.name == "alpha"; }, true);
    view.calls.clear();
    list.Apply(c.names, c.found);
    EXPECT_EQ(RowNames(list), c.rows);
    Names ticked;
    for (const std::size_t position : list.TickedRows())
      ticked.push_back(list[position].entry.name);
    EXPECT_EQ(ticked, c.ticked);
    EXPECT_EQ(view.calls, c.calls);
  }
  MailList list;
  list.Replace(Scanned());
  list.SetTicked(0, true);  // charlie
  std::vector<BadMailEntry> rescanned = Scanned();
  rescanned.erase(rescanned.begin() + 1);  // alpha gone
  rescanned.push_back({"echo", 1, at(1)});
  list.Reconcile(rescanned);
  EXPECT_EQ(RowNames(list), (Names{"charlie", "Beta", "beta", "echo"}));
  EXPECT_EQ(list.TickedRows(), std::vector<std::size_t>{0});
}

}  // namespace
}  // namespace velmoth
