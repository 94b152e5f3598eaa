// The list model as the view sees it: the window's list row for row, also after a
// sort from the header, each change of the list handed on as one fine-grained
// signal, dates read in the user's locale, and a hundred thousand rows at once.
#include "app/qt/mail_model.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QLocale>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTreeView>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/mail_list_rows.h"

namespace velmoth::qt {
namespace {

using std::chrono::seconds;
using velmoth::testing::RowNames;

constexpr int kFilename = form::ColumnIndex("Filename");
constexpr int kFileSize = form::ColumnIndex("File size");
constexpr int kFileDate = form::ColumnIndex("File date");

FileDate At(std::int64_t secondsSinceEpoch) { return FileDate(seconds(secondsSinceEpoch)); }

struct Entry {
  std::string name;
  std::uint64_t size;
  std::int64_t date;
};

void Fill(MailModel& model, const std::vector<Entry>& entries) {
  std::vector<BadMailEntry> scanned;
  for (const Entry& entry : entries) scanned.push_back({entry.name, entry.size, At(entry.date)});
  model.list().Replace(std::move(scanned));
}

std::vector<std::string> Shown(const MailModel& model) {
  std::vector<std::string> shown;
  for (int row = 0; row < model.rowCount(); ++row) {
    shown.push_back(model.index(row, kFilename).data().toString().toStdString());
  }
  return shown;
}

// Text order would put 10 before 9, "12/..." before "2/..." and "Beta" before "alpha".
const std::vector<Entry> kEntries = {
    {"charlie", 10, 1764990000},  // 12/6/25
    {"alpha", 9, 1770000000},     // 2/2/26
    {"Beta", 100, 1700000000},    // 11/14/23
};

TEST(MailModelTest, AHeaderSortReordersTheListItselfAndTheViewShowsItsOrder) {
  const struct {
    int column;
    Qt::SortOrder order;
    std::vector<std::string> expected;
  } cases[] = {
      {kFilename, Qt::AscendingOrder, {"alpha", "Beta", "charlie"}},
      {kFileSize, Qt::DescendingOrder, {"Beta", "charlie", "alpha"}},
      {kFileDate, Qt::AscendingOrder, {"Beta", "charlie", "alpha"}},
      {-1, Qt::AscendingOrder, {"charlie", "alpha", "Beta"}},
  };
  MailModel model;
  Fill(model, kEntries);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "column " << c.column << " order " << c.order);
    model.sort(c.column, c.order);
    EXPECT_EQ(RowNames(model.list()), c.expected);
    EXPECT_EQ(Shown(model), c.expected);
  }
}

TEST(MailModelTest, EachChangeOfTheListReachesTheViewAsOneFineGrainedSignal) {
  MailModel model;
  Fill(model, kEntries);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  QSignalSpy laidOut(&model, &QAbstractItemModel::layoutChanged);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  const auto every = [](const BadMailEntry&) { return true; };
  const struct {
    const char* what;
    std::function<void()> change;
    int inserted, removed, changed, laidOut;
    int firstChanged = 0, lastChanged = 0;  // the rows of the one dataChanged
  } cases[] = {
      {"a rescan", [&] { Fill(model, kEntries); }, 1, 1, 0, 0},
      {"a tick", [&] { model.list().SetTicked(1, true); }, 0, 0, 1, 0, 1, 1},
      {"the same tick again", [&] { model.list().SetTicked(1, true); }, 0, 0, 0, 0},
      {"every row ticked", [&] { model.list().TickWhere(every, true); }, 0, 0, 1, 0, 0, 2},
      {"a sort", [&] { model.sort(kFileSize, Qt::AscendingOrder); }, 0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (QSignalSpy* spy : {&inserted, &removed, &changed, &laidOut}) spy->clear();
    c.change();
    EXPECT_EQ(inserted.count(), c.inserted);
    EXPECT_EQ(removed.count(), c.removed);
    EXPECT_EQ(laidOut.count(), c.laidOut);
    ASSERT_EQ(changed.count(), c.changed);
    if (c.changed == 0) continue;
    EXPECT_EQ(changed[0][0].toModelIndex().row(), c.firstChanged);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), c.lastChanged);
  }
  EXPECT_EQ(reset.count(), 0);
  EXPECT_EQ(inserted[0].mid(1), (QList<QVariant>{0, 2})) << "the rescan's rows in one insertion";
}

TEST(MailModelTest, ATooltipIsTheTipOfTheListRowShownThereAsPlainText) {
  const MailModel* shown = nullptr;
  MailModel model([&shown](std::size_t position) {
    return "<b>" + shown->list()[position].entry.name + "</b>";
  });
  shown = &model;
  Fill(model, kEntries);
  model.sort(kFilename, Qt::DescendingOrder);
  const std::vector<std::string> names = Shown(model);
  for (int row = 0; row < model.rowCount(); ++row) {
    for (int column = 0; column < form::kColumnCount; ++column) {
      QTextDocument tip;
      tip.setHtml(model.index(row, column).data(Qt::ToolTipRole).toString());
      EXPECT_EQ(tip.toPlainText().toStdString(),
                "<b>" + names[static_cast<std::size_t>(row)] + "</b>")
          << "row " << row << " column " << column;
    }
  }
  MailModel untipped;
  Fill(untipped, kEntries);
  EXPECT_FALSE(untipped.index(0, 0).data(Qt::ToolTipRole).isValid());
}

TEST(MailModelTest, TicksAndSelectionStayWithTheirMessageAcrossASort) {
  MailModel model;
  Fill(model, kEntries);
  QItemSelectionModel selection(&model);
  model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole);  // charlie
  selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

  model.sort(kFilename, Qt::AscendingOrder);

  ASSERT_EQ(selection.selectedRows().size(), 1);
  EXPECT_EQ(model.list()[static_cast<std::size_t>(selection.selectedRows()[0].row())].entry.name,
            "alpha");
  EXPECT_TRUE(model.list()[2].ticked);
  EXPECT_FALSE(model.list()[0].ticked);
  EXPECT_EQ(model.index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

TEST(MailModelTest, ShowsSizesRightAlignedAndDatesInTheUsersLocale) {
  struct DateCase {
    QLocale locale;
    std::int64_t date;
    QString expected;
  };
  const std::vector<DateCase> cases = {
      {QLocale(QLocale::English, QLocale::UnitedStates), 1764990005, "12/6/25 3:00:05 AM"},
      {QLocale(QLocale::German, QLocale::Germany), 1764990005, "06.12.25 03:00:05"},
      {QLocale(QLocale::Finnish, QLocale::Finland), 1765036799, "6.12.2025 15.59.59"},
  };
  const QLocale saved;
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString());
    QLocale::setDefault(c.locale);
    MailModel model;
    Fill(model, {{"x", 1234, c.date}});
    EXPECT_EQ(model.index(0, kFileDate).data().toString().toStdString(), c.expected.toStdString());
  }
  QLocale::setDefault(saved);
  MailModel model;
  Fill(model, {{"x", 1234, 0}});
  EXPECT_EQ(model.index(0, kFileSize).data().toString(), "1234");
  EXPECT_TRUE(model.index(0, kFileSize).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
}

TEST(MailModelTest, NamesThatAreNotUtf8KeepTheirBytes) {
  MailModel model;
  const std::string latin1 = "caf\xe9.msg";
  Fill(model, {{latin1, 1, 0}});
  EXPECT_EQ(model.list()[0].entry.name, latin1);
  EXPECT_FALSE(model.index(0, 0).data().toString().isEmpty());
}

TEST(MailModelTest, FillsAHundredThousandRowsThroughTheList) {
  constexpr int kRows = 100000;
  MailModel model;
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setModel(&model);
  view.resize(577, 289);
  view.show();
  std::vector<Entry> entries;
  entries.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    entries.push_back({std::to_string(i) + ".msg", static_cast<std::uint64_t>(kRows - i), i});
  }
  Fill(model, entries);
  ASSERT_EQ(model.rowCount(), kRows);
  EXPECT_EQ(model.list()[kRows - 1].entry.name, "99999.msg");
  model.list().TickWhere([](const BadMailEntry&) { return true; }, true);
  view.sortByColumn(kFileSize, Qt::AscendingOrder);
  EXPECT_EQ(model.list()[0].entry.name, "99999.msg");
  EXPECT_TRUE(model.list()[kRows - 1].ticked);
  view.scrollToBottom();
  QApplication::processEvents();
}

}  // namespace
}  // namespace velmoth::qt
