// The scan, the scan with the messages' headers, the summary, the window's tick
// matching and the requeue on realistic Bad Mail trees, each timed side by side
// with its floor in the same iteration: the plainest loop that does the same I/O,
// for the headers the plain scan, for the summary and the tick matching the scan
// with the headers. Each benchmark reports
// Velmoth's time, the floor's and their ratio.
//
// queue_bench [--trees=DIR] [Google Benchmark flags]: the scans read the servers
// of park_messages in DIR/<count>, making those that are missing; without DIR
// they are made in a scratch directory and removed at the end.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <iostream>
#include <random>

#include "app/main_window.h"
#include "bench_server.h"
#include "floors.h"
#include "queue/bad_mail_scan.h"
#include "queue/candidate_summary.h"
#include "queue/message_header.h"
#include "queue/requeue.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using bench::BenchServer;
using Clock = std::chrono::steady_clock;

fs::path& TreesDir() {
  static fs::path dir;
  return dir;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Velmoth's time and the floor's over the iterations of one run.
struct Timings {
  double velmoth = 0;
  double floor = 0;

  void Add(benchmark::State& state, double velmothSeconds, double floorSeconds) {
    state.SetIterationTime(velmothSeconds);
    velmoth += velmothSeconds;
    floor += floorSeconds;
  }
  void Report(benchmark::State& state) const {
    state.counters["floor_ms"] =
        benchmark::Counter(floor * 1000, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = velmoth / floor;
  }
};

// Times Velmoth and its floor in each iteration, each going first every other
// time, so that neither gains from the order; over the repetitions too, as at
// 100,000 messages a repetition is one iteration.
void TimeSideBySide(benchmark::State& state, const std::function<double()>& velmoth,
                    const std::function<double()>& floor) {
  static bool floorFirst = true;
  Timings timings;
  for (auto _ : state) {
    double floorSeconds = 0, velmothSeconds = 0;
    if (floorFirst) {
      floorSeconds = floor();
      velmothSeconds = velmoth();
    } else {
      velmothSeconds = velmoth();
      floorSeconds = floor();
    }
    timings.Add(state, velmothSeconds, floorSeconds);
    floorFirst = !floorFirst;
  }
  timings.Report(state);
}

// The server whose registry values the scan and requeue read next.
void UseServer(const BenchServer& server) { setenv("WINEPREFIX", server.prefix().c_str(), 1); }

// The server of `count` messages that the scans share, made on first use.
BenchServer SharedServer(int count) {
  BenchServer server(TreesDir() / std::to_string(count));
  if (!server.IsMade()) server.Make(count);
  return server;
}

double TimeScanFloor(const BenchServer& server) {
  const auto start = Clock::now();
  benchmark::DoNotOptimize(bench::ScanFloor(server.badMail()));
  return Seconds(start);
}

double TimeScan(benchmark::State& state, std::size_t expected) {
  NativeFileSystem files;
  const RegistryQueueLocations locations;
  const auto start = Clock::now();
  const BadMailScan scan = ScanBadMail(files, locations);
  const double seconds = Seconds(start);
  if (scan.candidates.size() != expected) state.SkipWithError("wrong candidates");
  return seconds;
}

void BM_Scan(benchmark::State& state) {
  const BenchServer server = SharedServer(static_cast<int>(state.range(0)));
  const std::size_t expected = server.Candidates().size();
  UseServer(server);
  bench::ScanFloor(server.badMail());  // the page cache warm for both
  TimeSideBySide(
      state, [&] { return TimeScan(state, expected); }, [&] { return TimeScanFloor(server); });
}
BENCHMARK(BM_Scan)
    ->ArgName("messages")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The scan, then each candidate's header, as velmoth-queue list reads them; the
// plain scan is its floor here, as reading the headers may take at most as long again.
double TimeScanWithHeaders(benchmark::State& state, std::size_t expected) {
  NativeFileSystem files;
  const RegistryQueueLocations locations;
  const auto start = Clock::now();
  const BadMailScan scan = ScanBadMail(files, locations);
  ParkedHeaders headers(files, locations);
  std::size_t read = 0;
  for (const BadMailEntry& entry : scan.candidates) {
    const auto header = headers.Read(entry.name);
    read += header && !header->from.empty();
  }
  const double seconds = Seconds(start);
  if (read != expected) state.SkipWithError("a header was not read");
  return seconds;
}

void BM_Headers(benchmark::State& state) {
  const BenchServer server = SharedServer(static_cast<int>(state.range(0)));
  const std::size_t expected = server.Candidates().size();
  UseServer(server);
  TimeScanWithHeaders(state, expected);  // the page cache warm for both
  Timings timings;
  for (auto _ : state) {
    const double scan = TimeScan(state, expected);
    timings.Add(state, TimeScanWithHeaders(state, expected), scan);
  }
  timings.Report(state);
}
BENCHMARK(BM_Headers)
    ->ArgName("messages")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The summary by recipient domain, as velmoth-queue summary makes it: the scan, each
// candidate's header with its addresses, and their tally. Its floor is the scan
// with the headers, which it may exceed by the addresses and the tally alone.
double TimeSummary(benchmark::State& state, std::size_t expected) {
  NativeFileSystem files;
  const RegistryQueueLocations locations;
  const auto start = Clock::now();
  const BadMailScan scan = ScanBadMail(files, locations);
  ParkedHeaders headers(files, locations);
  const FileDate now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  const CandidateSummary summary =
      SummarizeCandidates(scan.candidates, SummaryGrouping::kToDomain, {}, headers, now);
  const double seconds = Seconds(start);
  // Every message of the trees is sent to example.net.
  if (summary.groups.size() != 1 || summary.groups.front().counts.count != expected) {
    state.SkipWithError("wrong groups");
  }
  return seconds;
}

void BM_Summary(benchmark::State& state) {
  const BenchServer server = SharedServer(static_cast<int>(state.range(0)));
  const std::size_t expected = server.Candidates().size();
  UseServer(server);
  TimeScanWithHeaders(state, expected);  // the page cache warm for both
  TimeSideBySide(
      state, [&] { return TimeSummary(state, expected); },
      [&] { return TimeScanWithHeaders(state, expected); });
}
BENCHMARK(BM_Summary)
    ->ArgName("messages")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The window's services as the tick matching needs them: nothing is shown.
class NoWindow final : public WindowServices {
 public:
  std::optional<std::size_t> SelectedRow() const override { return std::nullopt; }
  void SetBusyPointer(bool) override {}
  bool IsDeleteTicked() const override { return false; }
  void ShowError(const std::string&) override {}
  void ShowNotice(const std::string&) override {}
  void StartViewer(const fs::path&) override {}
  void Close() override {}
  bool Confirm(const std::string&) override { return false; }
  void ShowDetails(const MessageDetails&) override {}
  void ShowTickMatching() override {}
};

// The tick matching dialog's answer on every row listed, for a text that no
// message holds, so that each row's four fields are searched.
double TimeTickMatching(benchmark::State& state, MainWindowHandlers& handlers, std::size_t rows) {
  const auto start = Clock::now();
  const std::string said =
      handlers.TickMatching({MatchRequest::Field::kAny, "no such text", "", ""}, true);
  const double seconds = Seconds(start);
  if (said.find("Ticked 0 of ") != 0 || rows == 0) state.SkipWithError(said.c_str());
  return seconds;
}

void BM_TickMatching(benchmark::State& state) {
  const BenchServer server = SharedServer(static_cast<int>(state.range(0)));
  const std::size_t expected = server.Candidates().size();
  UseServer(server);
  NativeFileSystem files;
  const RegistryQueueLocations locations;
  MailList list;
  list.Replace(ScanBadMail(files, locations).candidates);
  NoWindow window;
  MainWindowHandlers handlers(list, window, files, locations);
  TimeScanWithHeaders(state, expected);  // the page cache warm for both
  TimeSideBySide(
      state, [&] { return TimeTickMatching(state, handlers, list.size()); },
      [&] { return TimeScanWithHeaders(state, expected); });
}
BENCHMARK(BM_TickMatching)
    ->ArgName("messages")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A fresh server of `count` parked messages, on disk as a server's are.
BenchServer FreshServer(const std::string& name, int count) {
  BenchServer server(TreesDir() / name);
  server.Make(count);
  ::sync();
  return server;
}

double TimeRequeueFloor(int count) {
  const BenchServer server = FreshServer("requeue-floor", count);
  const auto names = server.Candidates();
  const auto start = Clock::now();
  bench::RequeueFloor(server.badMail(), server.outbound(), names);
  const double seconds = Seconds(start);
  fs::remove_all(server.root());
  return seconds;
}

double TimeRequeue(benchmark::State& state, int count) {
  const BenchServer server = FreshServer("requeue", count);
  const auto names = server.Candidates();
  UseServer(server);
  NativeFileSystem files;
  const RegistryQueueLocations locations;
  const auto start = Clock::now();
  const auto rows = Requeue(names, {}, files, locations);
  const double seconds = Seconds(start);
  if (rows.back().outcome != RequeueOutcome::kRequeued) state.SkipWithError("requeue failed");
  fs::remove_all(server.root());
  return seconds;
}

void BM_Requeue(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  Timings timings;
  for (auto _ : state) {
    const double floor = TimeRequeueFloor(count);
    timings.Add(state, TimeRequeue(state, count), floor);
  }
  timings.Report(state);
}
// One iteration a repetition: each needs two fresh trees.
BENCHMARK(BM_Requeue)
    ->ArgName("messages")
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Takes --trees=DIR from what Google Benchmark left of the arguments.
bool TakeTreesDir(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--trees=", 8) != 0) {
      std::cerr << "queue_bench: unknown argument " << argv[i] << "\n";
      return false;
    }
    TreesDir() = argv[i] + 8;
  }
  return true;
}

}  // namespace
}  // namespace velmoth

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!velmoth::TakeTreesDir(argc, argv)) return 2;
  const bool scratch = velmoth::TreesDir().empty();
  if (scratch) {
    velmoth::TreesDir() = velmoth::fs::temp_directory_path() /
                          ("velmoth-bench-" + std::to_string(std::random_device()()));
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (scratch) velmoth::fs::remove_all(velmoth::TreesDir());
  return 0;
}
