// The scan and the requeue on realistic Bad Mail trees, each timed side by side
// with its floor in the same iteration: the plainest loop that does the same I/O.
// Each benchmark reports Velmoth's time and its ratio to the floor.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "bad_mail_tree.h"
#include "queue/bad_mail_scan.h"
#include "queue/requeue.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Enumerates the directory, opens each command file relative to it, reads its
// date and all its bytes, closes it and looks at its message file.
std::size_t ScanFloor(const fs::path& badMail) {
  DIR* dir = ::opendir(badMail.c_str());
  const int messages = ::open((badMail / "messages").c_str(), O_RDONLY | O_DIRECTORY);
  std::size_t found = 0;
  char buffer[64 * 1024];
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_type != DT_REG) continue;
    const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY);
    struct stat st {};
    ::fstat(fd, &st);
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
    if (::fstatat(messages, entry->d_name, &st, 0) == 0) ++found;
  }
  ::close(messages);
  ::closedir(dir);
  return found;
}

void CopyFile(const fs::path& from, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char buffer[256 * 1024];
  ssize_t got = 0;
  while ((got = ::read(in, buffer, sizeof buffer)) > 0) {
    if (::write(out, buffer, static_cast<std::size_t>(got)) != got) break;
  }
  ::close(in);
  ::close(out);
}

// Copies the rows, writes the command files under temporary names, renames them,
// flushes the file system once, then deletes the parked files.
void RequeueFloor(const MailServer& server, const std::vector<std::string>& names) {
  const fs::path badMail = server.badMail();
  const fs::path outbound = server.outbound();
  int number = 0;
  for (const std::string& name : names) {
    CopyFile(badMail / "messages" / name, outbound / "messages" / name);
    const fs::path temporary = outbound / "messages" / (".floor-" + std::to_string(++number));
    CopyFile(badMail / name, temporary);
    ::rename(temporary.c_str(), (outbound / name).c_str());
  }
  const int fd = ::open(outbound.c_str(), O_RDONLY | O_DIRECTORY);
  ::syncfs(fd);
  ::close(fd);
  for (const std::string& name : names) {
    ::unlink((badMail / "messages" / name).c_str());
    ::unlink((badMail / name).c_str());
  }
}

void Report(benchmark::State& state, double velmoth, double floor) {
  state.SetIterationTime(velmoth);
  state.counters["floor_ms"] = floor * 1000;
  state.counters["ratio"] = velmoth / floor;
}

void BM_Scan(benchmark::State& state) {
  MailServer server;
  const auto tree = bench::ParkMessages(server.badMail(), static_cast<int>(state.range(0)));
  NativeFileSystem files;
  ScanFloor(server.badMail());  // the page cache warm for both
  for (auto _ : state) {
    auto start = Clock::now();
    benchmark::DoNotOptimize(ScanFloor(server.badMail()));
    const double floor = Seconds(start);
    start = Clock::now();
    const BadMailScan scan = ScanBadMail(files);
    const double velmoth = Seconds(start);
    if (scan.candidates.size() != tree.candidates.size()) state.SkipWithError("wrong candidates");
    Report(state, velmoth, floor);
  }
}
BENCHMARK(BM_Scan)->ArgName("messages")->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Requeue(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    double floor = 0;
    {
      MailServer server;
      const auto tree = bench::ParkMessages(server.badMail(), count);
      ::sync();  // the parked files on disk before, as a server's are
      const auto start = Clock::now();
      RequeueFloor(server, tree.candidates);
      floor = Seconds(start);
    }
    MailServer server;
    const auto tree = bench::ParkMessages(server.badMail(), count);
    ::sync();
    NativeFileSystem files;
    const auto start = Clock::now();
    const auto rows = Requeue(tree.candidates, {}, files);
    const double velmoth = Seconds(start);
    if (rows.back().outcome != RequeueOutcome::kRequeued) state.SkipWithError("requeue failed");
    Report(state, velmoth, floor);
  }
}
BENCHMARK(BM_Requeue)->ArgName("messages")->Arg(1000)->Arg(10000)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmoth

BENCHMARK_MAIN();
