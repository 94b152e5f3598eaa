// How long the Qt list takes to take in a scan of 100,000 parked messages through
// its MailList, with a view attached, and to sort them by a column.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeView>
#include <string>
#include <vector>

#include "app/qt/mail_model.h"

namespace {

constexpr int kRows = 100000;

// A scan's candidates, made once.
const std::vector<velmoth::BadMailEntry>& Entries() {
  static const std::vector<velmoth::BadMailEntry> entries = [] {
    std::vector<velmoth::BadMailEntry> made;
    for (int i = 0; i < kRows; ++i) {
      made.push_back({"20251206-" + std::to_string(1000000 + i) + ".msg",
                      static_cast<std::uint64_t>((i * 7919) % 100000),
                      velmoth::FileDate(std::chrono::seconds(1764990000 - i))});
    }
    return made;
  }();
  return entries;
}

// As RefreshMailList fills the list once its scan is done, the rows it had going first.
void Fill(velmoth::MailList& list) { list.Replace(Entries()); }

void BM_Fill(benchmark::State& state) {
  velmoth::qt::MailModel model;
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setModel(&model);
  view.resize(577, 289);
  view.show();
  for (auto _ : state) {
    Fill(model.list());
    QApplication::processEvents();  // the view lays out and paints the first screen
  }
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond);

// Sorts by one column, each time in the other direction.
void BM_Sort(benchmark::State& state) {
  velmoth::qt::MailModel model;
  Fill(model.list());
  const auto column = static_cast<int>(state.range(0));
  Qt::SortOrder order = Qt::AscendingOrder;
  for (auto _ : state) {
    model.sort(column, order);
    order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
}
BENCHMARK(BM_Sort)
    ->Arg(velmoth::form::ColumnIndex("Filename"))
    ->Arg(velmoth::form::ColumnIndex("File size"))
    ->ArgName("column")
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
