// The list model as the scan, the requeue and the view see it: positions follow
// the order shown after a sort, rows added while busy stay consistent, dates read
// in the user's locale, and a hundred thousand rows go in through MailList.
#include "app/qt/mail_model.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QLocale>
#include <QTextDocument>
#include <QTreeView>
#include <chrono>
#include <string>
#include <vector>

#include "support/mail_list_rows.h"

namespace velmoth::qt {
namespace {

using std::chrono::seconds;
using velmoth::testing::RowTexts;

FileDate At(std::int64_t secondsSinceEpoch) { return FileDate(seconds(secondsSinceEpoch)); }

struct Entry {
  std::string name;
  std::uint64_t size;
  std::int64_t date;
};

void Fill(MailList& list, const std::vector<Entry>& entries) {
  BusyPointer busy(list);
  list.RemoveAllRows();
  for (const Entry& entry : entries) {
    list.AddRow(entry.name, entry.name);
    list.SetSize(list.RowCount(), entry.size);
    list.SetDate(list.RowCount(), At(entry.date));
  }
}

std::vector<std::string> Shown(const MailModel& model) {
  std::vector<std::string> shown;
  for (int row = 0; row < model.rowCount(); ++row) {
    shown.push_back(model.index(row, 0).data().toString().toStdString());
  }
  return shown;
}

// Text order would put 10 before 9, "12/..." before "2/..." and "Beta" before "alpha".
const std::vector<Entry> kEntries = {
    {"charlie", 10, 1764990000},  // 12/6/25
    {"alpha", 9, 1770000000},     // 2/2/26
    {"Beta", 100, 1700000000},    // 11/14/23
};

struct SortCase {
  int column;
  Qt::SortOrder order;
  std::vector<std::string> expected;
};

TEST(MailModelTest, SortReordersTheListPositionsAsShown) {
  const std::vector<SortCase> cases = {
      {MailModel::kFilename, Qt::AscendingOrder, {"alpha", "Beta", "charlie"}},
      {MailModel::kFilename, Qt::DescendingOrder, {"charlie", "Beta", "alpha"}},
      {MailModel::kFileSize, Qt::AscendingOrder, {"alpha", "charlie", "Beta"}},
      {MailModel::kFileSize, Qt::DescendingOrder, {"Beta", "charlie", "alpha"}},
      {MailModel::kFileDate, Qt::AscendingOrder, {"Beta", "charlie", "alpha"}},
      {-1, Qt::AscendingOrder, {"charlie", "alpha", "Beta"}},
  };
  MailModel model;
  Fill(model, kEntries);
  for (const SortCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "column " << c.column << " order " << c.order);
    model.sort(c.column, c.order);
    EXPECT_EQ(RowTexts(model), c.expected);
    EXPECT_EQ(Shown(model), c.expected);
  }
}

TEST(MailModelTest, ATooltipIsTheTipOfTheListRowShownThereAsPlainText) {
  const MailModel* list = nullptr;
  MailModel model([&list](int row) { return "<b>" + list->RowText(row) + "</b>"; });
  list = &model;
  Fill(model, kEntries);
  model.sort(MailModel::kFilename, Qt::DescendingOrder);
  const std::vector<std::string> shown = Shown(model);
  for (int row = 0; row < model.rowCount(); ++row) {
    for (int column = 0; column < MailModel::kColumnCount; ++column) {
      QTextDocument tip;
      tip.setHtml(model.index(row, column).data(Qt::ToolTipRole).toString());
      EXPECT_EQ(tip.toPlainText().toStdString(),
                "<b>" + shown[static_cast<std::size_t>(row)] + "</b>")
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
  EXPECT_EQ(model.SelectedRow(), 0);
  QItemSelectionModel selection(&model);
  model.SetSelectionModel(&selection);
  EXPECT_EQ(model.SelectedRow(), 0);
  model.SetTicked(1, true);  // charlie
  selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

  model.sort(MailModel::kFilename, Qt::AscendingOrder);

  EXPECT_EQ(model.RowText(model.SelectedRow()), "alpha");
  EXPECT_TRUE(model.IsTicked(3));
  EXPECT_FALSE(model.IsTicked(1));
  EXPECT_EQ(model.index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

TEST(MailModelTest, RowsAddedWhileBusyAreListedAtOnceAndShownWhenTheScanEnds) {
  MailModel model;
  model.SetBusyPointer(true);
  model.SetBusyPointer(true);  // a requeue's pointer around a scan's
  model.AddRow("one", "one");
  model.AddRow("two", "two");
  model.SetSize(2, 42);
  model.SetTicked(2, true);
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(model.RowText(2), "two");
  EXPECT_TRUE(model.IsTicked(2));
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

  model.SetBusyPointer(false);
  EXPECT_EQ(model.rowCount(), 0);
  model.SetBusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.index(1, MailModel::kFileSize).data().toString(), "42");
  EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

TEST(MailModelTest, ARebuiltListKeepsTheChosenSortAndAddsUnticked) {
  MailModel model;
  Fill(model, kEntries);
  model.sort(MailModel::kFileSize, Qt::DescendingOrder);
  model.SetTicked(1, true);
  Fill(model, kEntries);
  EXPECT_EQ(RowTexts(model), (std::vector<std::string>{"Beta", "charlie", "alpha"}));
  for (int row = 1; row <= 3; ++row) EXPECT_FALSE(model.IsTicked(row));
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
    EXPECT_EQ(model.index(0, MailModel::kFileDate).data().toString().toStdString(),
              c.expected.toStdString());
  }
  QLocale::setDefault(saved);
  MailModel model;
  Fill(model, {{"x", 1234, 0}});
  EXPECT_EQ(model.index(0, MailModel::kFileSize).data().toString(), "1234");
  EXPECT_TRUE(model.index(0, MailModel::kFileSize).data(Qt::TextAlignmentRole).toInt() &
              Qt::AlignRight);
}

TEST(MailModelTest, NamesThatAreNotUtf8KeepTheirBytes) {
  MailModel model;
  const std::string latin1 = "caf\xe9.msg";
  Fill(model, {{latin1, 1, 0}});
  EXPECT_EQ(model.RowText(1), latin1);
  EXPECT_FALSE(model.index(0, 0).data().toString().isEmpty());
}

TEST(MailModelTest, FillsAHundredThousandRowsThroughTheListInterface) {
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
  EXPECT_EQ(model.RowText(kRows), "99999.msg");
  for (int row = 1; row <= kRows; ++row) model.SetTicked(row, true);
  view.sortByColumn(MailModel::kFileSize, Qt::AscendingOrder);
  EXPECT_EQ(model.RowText(1), "99999.msg");
  EXPECT_TRUE(model.IsTicked(kRows));
  view.scrollToBottom();
  QApplication::processEvents();
}

}  // namespace
}  // namespace velmoth::qt
