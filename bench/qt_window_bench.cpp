// qt_window_bench DIR ROWS ROUNDS: the Qt window as the operator has it open while
// the server works, with ROWS parked messages listed from a benchmark server it
// makes in DIR, timed in ROUNDS rounds. Prints a sample line per measure and round
// for scripts/bench, "KEY ROUND SECONDS FLOOR_SECONDS -":
//   window-parked-ROWS: 100 messages parked at once by another thread, as the
//     server parks them: the time the window's thread spent on them, from their
//     first event to the list shown with them, against a full scan of the tree
//     (ScanBadMail) just before, the floor;
//   window-parked-latency-ROWS: from the last of them parked to the list shown
//     with them all;
//   window-requeue-ROWS: 10 rows, spread over the list, ticked and Copy to SMTP
//     Outbound clicked, with deletion: from the requeue's end, when its trail is
//     logged, to the list shown without them.
// The window's time is the wall time of every event it handles, drawing included.
#include <stdlib.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/frm_main.h"
#include "bad_mail_tree.h"
#include "bench_server.h"
#include "queue/bad_mail_scan.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kParked = 100;
constexpr int kRequeued = 10;
// How long the window is left to itself after a change: long enough for the
// pacer's later update, if the kernel's events came in two bursts, and its drawing.
constexpr auto kSettle = std::chrono::milliseconds(1000);

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Times the delivery of every event, nested ones within their outermost: the
// wall time the window's thread works, its waits for events left out.
class TimedApplication final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (depth_++ > 0) return Leave(QApplication::notify(receiver, event));
    const auto start = Clock::now();
    const bool handled = QApplication::notify(receiver, event);
    busy += Clock::now() - start;
    return Leave(handled);
  }
  Clock::duration busy{};

 private:
  bool Leave(bool handled) {
    --depth_;
    return handled;
  }
  int depth_ = 0;
};

// Notes when the window logs a requeue's trail: the requeue's end.
class TrailClock final : public SystemLog {
 public:
  std::optional<FileError> Write(Severity, RecordKind, std::string_view) override {
    if (!firstWrite) firstWrite = Clock::now();
    return std::nullopt;
  }
  std::optional<Clock::time_point> firstWrite;
};

std::vector<std::string> Names(const std::string& prefix, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i) + ".EML");
  return names;
}

// The server's tree with exactly `rows` requeue candidates: a benchmark tree,
// made once, its candidates topped up with plain ones.
bench::BenchServer MakeServer(const fs::path& dir, int rows) {
  bench::BenchServer server(dir);
  if (!server.IsMade()) server.Make(rows);
  const int shortfall = rows - static_cast<int>(server.Candidates().size());
  bench::ParkCandidates(server.badMail(), Names("extra-", shortfall));
  return server;
}

class WindowBench {
 public:
  WindowBench(TimedApplication& app, const bench::BenchServer& server, int rows)
      : app_(app), server_(server), rows_(rows), window_(&trail_) {
    // A message box would wait for an operator who is not there.
    QObject::connect(&modalCheck_, &QTimer::timeout, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        std::cerr << "qt_window_bench: the window says: " << box->text().toStdString() << "\n";
        std::exit(1);
      }
    });
    modalCheck_.start(100);
    window_.Form_Load();
    window_.show();
    WaitForRows(rows_);
  }

  void Round(int round) {
    Parked(round);
    Requeue(round);
  }

 private:
  int Rows() { return static_cast<int>(window_.model().list().size()); }

  // Runs the window's events until its list has `rows` rows and it is drawn, then
  // a while longer; when they came.
  Clock::time_point WaitForRows(int rows) {
    QEventLoop loop;
    const auto check = [&] {
      if (Rows() == rows) loop.quit();
    };
    const QMetaObject::Connection inserted =
        QObject::connect(&window_.model(), &QAbstractItemModel::rowsInserted, check);
    const QMetaObject::Connection removed =
        QObject::connect(&window_.model(), &QAbstractItemModel::rowsRemoved, check);
    QTimer::singleShot(std::chrono::seconds(60), &loop, [&] {
      std::cerr << "qt_window_bench: " << Rows() << " rows listed, not " << rows << "\n";
      std::exit(1);
    });
    if (Rows() != rows) loop.exec();
    QObject::disconnect(inserted);
    QObject::disconnect(removed);
    QCoreApplication::processEvents();  // the list drawn
    const Clock::time_point shown = Clock::now();
    Settle();
    return shown;
  }

  void Settle() {
    QEventLoop loop;
    QTimer::singleShot(kSettle, &loop, &QEventLoop::quit);
    loop.exec();
  }

  void Parked(int round) {
    NativeFileSystem files;
    const RegistryQueueLocations locations;
    const auto scanStart = Clock::now();
    const BadMailScan scan = ScanBadMail(files, locations);
    const auto scanTime = Clock::now() - scanStart;
    if (static_cast<int>(scan.candidates.size()) != rows_) std::exit(1);

    const std::vector<std::string> names = Names("parked-" + std::to_string(round) + "-", kParked);
    const auto busyBefore = app_.busy;
    Clock::time_point parked;
    std::thread server([&] {
      bench::ParkCandidates(server_.badMail(), names);
      parked = Clock::now();
    });
    const Clock::time_point shown = WaitForRows(rows_ + kParked);
    server.join();
    const auto busy = app_.busy - busyBefore;
    std::printf("window-parked-%d %d %.6f %.6f -\n", rows_, round, Seconds(busy),
                Seconds(scanTime));
    std::printf("window-parked-latency-%d %d %.6f - -\n", rows_, round, Seconds(shown - parked));

    for (const std::string& name : names) {
      fs::remove(server_.badMail() / name);
      fs::remove(server_.badMail() / "messages" / name);
    }
    WaitForRows(rows_);
  }

  void Requeue(int round) {
    qt::MailModel& model = window_.model();
    std::vector<std::string> names;
    for (int i = 0; i < kRequeued; ++i) {
      const int row = i * rows_ / kRequeued + rows_ / (2 * kRequeued);
      names.push_back(model.list()[static_cast<std::size_t>(row)].entry.name);
      model.setData(model.index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
    trail_.firstWrite.reset();
    window_.findChild<QPushButton*>(QStringLiteral("cmdCopy"))->click();
    QCoreApplication::processEvents();  // the list drawn
    const auto shown = Clock::now();
    if (Rows() != rows_ - kRequeued || !model.list().TickedRows().empty() || !trail_.firstWrite) {
      std::cerr << "qt_window_bench: the requeue left the list at " << Rows() << " rows\n";
      std::exit(1);
    }
    std::printf("window-requeue-%d %d %.6f - -\n", rows_, round,
                Seconds(shown - *trail_.firstWrite));
    std::fflush(stdout);

    // The same messages parked again for the next round, the copies gone.
    for (const std::string& name : names) fs::remove(server_.outbound() / "messages" / name);
    for (const auto& entry : fs::directory_iterator(server_.outbound())) {
      if (entry.is_regular_file()) fs::remove(entry.path());
    }
    bench::ParkCandidates(server_.badMail(), names);
    WaitForRows(rows_);
  }

  TimedApplication& app_;
  const bench::BenchServer& server_;
  const int rows_;
  TrailClock trail_;
  qt::FrmMain window_;
  QTimer modalCheck_;
};

}  // namespace
}  // namespace velmoth

int main(int argc, char** argv) {
  if (argc != 4 || std::atoi(argv[2]) <= 0 || std::atoi(argv[3]) <= 0) {
    std::cerr << "usage: qt_window_bench DIR ROWS ROUNDS\n";
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  try {
    const int rows = std::atoi(argv[2]);
    const velmoth::bench::BenchServer server = velmoth::MakeServer(argv[1], rows);
    setenv("WINEPREFIX", server.prefix().c_str(), 1);
    velmoth::TimedApplication app(argc, argv);
    velmoth::WindowBench bench(app, server, rows);
    for (int round = 1; round <= std::atoi(argv[3]); ++round) bench.Round(round);
  } catch (const std::exception& error) {
    std::cerr << "qt_window_bench: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
