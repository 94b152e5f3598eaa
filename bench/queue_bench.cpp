// How long the scan of a large Bad Mail directory and the requeue of many rows
// take on real files: 100,000 parked messages, 1,000 requeued.
#include <benchmark/benchmark.h>

#include "queue/bad_mail_scan.h"
#include "queue/requeue.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;

const std::string kCommand =
    "Status=Failed\r\nCommandType=SMTP\r\nRetries=5\r\nServer=mx1.example.net\r\n"
    "NextSendTime=1764998400\r\nTimeAcquired=1764990000\r\nFrom=<sender@example.org>\r\n"
    "To=<rcpt@example.net>\r\nSize=2048\r\n";

void ParkMany(MailServer& server, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = "MSG" + std::to_string(100000 + i) + ".EML";
    // Every tenth is being spooled, so the scan has to read all of them anyway.
    server.Park(name, i % 10 == 0 ? kCommand + "Status=Spooling\r\n" : kCommand,
                "Subject: x\r\n\r\nbody\r\n");
  }
}

void BM_ScanBadMail(benchmark::State& state) {
  MailServer server;
  ParkMany(server, static_cast<int>(state.range(0)));
  NativeFileSystem files;
  std::size_t candidates = 0;
  for (auto _ : state) candidates = ScanBadMail(files).candidates.size();
  state.counters["rows"] = static_cast<double>(candidates);
}
BENCHMARK(BM_ScanBadMail)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Requeue(benchmark::State& state) {
  const bool deleteParked = state.range(1) != 0;
  NativeFileSystem files;
  for (auto _ : state) {
    state.PauseTiming();
    auto server = std::make_unique<MailServer>();
    ParkMany(*server, static_cast<int>(state.range(0)));
    std::vector<std::string> names;
    for (const BadMailEntry& entry : ScanBadMail(files).candidates) names.push_back(entry.name);
    RequeueOptions options;
    options.deleteParked = deleteParked;
    state.ResumeTiming();
    Requeue(names, options, files);
    state.PauseTiming();
    server.reset();  // tearing the queues down is not part of the requeue
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Requeue)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->ArgNames({"rows", "delete"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace velmoth

BENCHMARK_MAIN();
