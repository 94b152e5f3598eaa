// What reading every candidate's header costs velmoth-queue list: the scan alone
// and the scan followed by the header reads through the "messages" directory, in
// the same iteration on the same realistic tree, and list as a whole beside them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <streambuf>

#include "bad_mail_tree.h"
#include "cli/commands.h"
#include "cli/message_filter.h"
#include "queue/bad_mail_scan.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The scan, then the header of each candidate; how many had a From.
std::size_t ScanAndReadHeaders(FileSystem& files) {
  const BadMailScan scan = ScanBadMail(files);
  ParkedHeaders headers(files);
  std::size_t from = 0;
  for (const BadMailEntry& entry : scan.candidates) {
    const auto header = headers.Read(entry.name);
    from += header && !header->from.empty();
  }
  return from;
}

// An output that drops what it is given, as a pipe to a reader that keeps up would.
class NullBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

struct ParkedTree {
  MailServer server;
  bench::BadMailTree tree;
};

// The tree of `count` messages, made once for every repetition: making it takes
// far longer than reading it. One mail server at a time, as each sets the registry.
const ParkedTree& TreeOf(int count) {
  static std::unique_ptr<ParkedTree> parked;
  static int parkedCount = 0;
  if (!parked || parkedCount != count) {
    parked.reset();
    parked = std::make_unique<ParkedTree>();
    parked->tree = bench::ParkMessages(parked->server.badMail(), count);
    parkedCount = count;
  }
  return *parked;
}

void BM_ListHeaders(benchmark::State& state) {
  const bench::BadMailTree& tree = TreeOf(static_cast<int>(state.range(0))).tree;
  NativeFileSystem files;
  ScanAndReadHeaders(files);  // the page cache warm for all three
  NullBuffer null;
  std::ostream out(&null);
  for (auto _ : state) {
    auto start = Clock::now();
    const BadMailScan scan = ScanBadMail(files);
    const double scanned = Seconds(start);
    start = Clock::now();
    const std::size_t from = ScanAndReadHeaders(files);
    const double withHeaders = Seconds(start);
    start = Clock::now();
    RunList({}, {out, out}, files);
    const double listed = Seconds(start);
    if (from != tree.candidates.size() || scan.candidates.size() != from) {
      state.SkipWithError("a header was not read");
    }
    state.SetIterationTime(withHeaders);
    state.counters["scan_ms"] = scanned * 1000;
    state.counters["list_ms"] = listed * 1000;
    state.counters["ratio"] = withHeaders / scanned;
  }
}
BENCHMARK(BM_ListHeaders)
    ->ArgName("messages")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmoth

BENCHMARK_MAIN();
