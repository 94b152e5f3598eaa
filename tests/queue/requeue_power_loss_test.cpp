// The requeue against power loss: with the power cut after any one of its file
// operations, every disk the cut may leave holds each message whole in one queue.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include "queue/requeue.h"
#include "support/mail_server.h"
#include "support/power_loss_file_system.h"
#include "support/requeue_crash_check.h"

namespace velmoth {
namespace {

using testing::CrashProblems;
using testing::Disk;
using ::testing::IsEmpty;
using testing::MailServer;
using testing::MessagePaths;
using testing::ParkedMessage;
using testing::PathsOf;
using testing::PowerLossFileSystem;
using testing::QueuePlaces;
using testing::SampleMessages;
using testing::WholeInOutbound;

// What the cuts of one requeue showed.
struct Cuts {
  std::size_t cuts = 0;
  std::size_t disks = 0;
  std::vector<std::string> problems;  // those of the first disk that had any
};

// The double behind a requeue that leaves out the flushes `skip` picks.
class SkippingFlushes final : public FileSystem {
 public:
  using Pick =
      std::function<bool(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs)>;
  SkippingFlushes(FileSystem& files, Pick skip) : files_(files), skip_(std::move(skip)) {}

  std::unique_ptr<Directory> OpenDirectory(const fs::path& dir) override {
    return files_.OpenDirectory(dir);
  }
  std::unique_ptr<InputFile> OpenForReading(const fs::path& path) override {
    return files_.OpenForReading(path);
  }
  std::unique_ptr<OutputFile> CreateTemporary(const fs::path& dir) override {
    return files_.CreateTemporary(dir);
  }
  void Flush(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs) override {
    if (!skip_(files, dirs)) files_.Flush(files, dirs);
  }
  void Rename(const fs::path& from, const fs::path& to) override { files_.Rename(from, to); }
  std::optional<FileIdentity> Identity(const fs::path& path) override {
    return files_.Identity(path);
  }
  void Delete(const fs::path& path) override { files_.Delete(path); }
  void Discard(const fs::path& path) noexcept override { files_.Discard(path); }

 private:
  FileSystem& files_;
  Pick skip_;
};

class RequeuePowerLoss : public ::testing::Test {
 protected:
  // The parked messages, durable, and nothing else in the queues.
  PowerLossFileSystem ParkedFiles() const {
    PowerLossFileSystem files({server.badMail(), server.badMail() / "messages", server.outbound(),
                               server.outbound() / "messages"});
    for (const ParkedMessage& message : messages) {
      const MessagePaths paths = PathsOf(places, message.name);
      files.Seed(paths.parkedCommand, message.command);
      files.Seed(paths.parkedMessage, message.message);
    }
    return files;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const ParkedMessage& message : messages) names.push_back(message.name);
    return names;
  }

  // Every disk of every cut of the requeue that ran on `files`, up to the first
  // with a problem. Names fare independently, so each message's four names vary
  // together while the others keep their durable values.
  Cuts CheckEveryCut(const PowerLossFileSystem& files) const {
    Cuts result;
    for (std::size_t cut = 0; cut <= files.operations(); ++cut, ++result.cuts) {
      for (const ParkedMessage& message : messages) {
        const MessagePaths paths = PathsOf(places, message.name);
        for (const Disk& disk : files.DisksAfterPowerLoss(
                 cut, {paths.parkedCommand, paths.parkedMessage, paths.command, paths.message})) {
          ++result.disks;
          result.problems = CrashProblems(disk, places, messages);
          if (!result.problems.empty()) {
            result.problems.push_back("after operation " + std::to_string(cut));
            return result;
          }
        }
      }
    }
    return result;
  }

  // Whether the requeue on `files` left every message durable in the outbound queue.
  bool AllDurableInOutbound(const PowerLossFileSystem& files) const {
    const Disk durable = files.DisksAfterPowerLoss(files.operations(), {}).front();
    for (const ParkedMessage& message : messages) {
      if (!WholeInOutbound(durable, places, message)) return false;
    }
    return true;
  }

  MailServer server;
  QueuePlaces places{server.badMail(), server.outbound()};
  std::vector<ParkedMessage> messages = SampleMessages(5, 600);
};

TEST_F(RequeuePowerLoss, EveryCutLeavesEachMessageWholeInOneQueue) {
  for (const bool deleteParked : {true, false}) {
    for (const std::size_t batchRows : {std::size_t{2}, RequeueOptions{}.batchRows}) {
      const std::string run = std::string(deleteParked ? "with" : "without") +
                              " deletion, batches of " + std::to_string(batchRows);
      PowerLossFileSystem files = ParkedFiles();
      RequeueOptions options;
      options.deleteParked = deleteParked;
      options.batchRows = batchRows;
      for (const RequeueRow& row : Requeue(Names(), options, files)) {
        EXPECT_EQ(row.outcome, RequeueOutcome::kRequeued) << run << ": " << row.name;
      }
      const Cuts cuts = CheckEveryCut(files);
      EXPECT_THAT(cuts.problems, IsEmpty()) << run;
      EXPECT_TRUE(AllDurableInOutbound(files)) << run;
      std::cout << "[   CUTS   ] " << run << ": " << cuts.cuts << " cuts, " << cuts.disks
                << " disks checked\n";
    }
  }
}

// The check itself must see the faults it is there for: a requeue that leaves out
// any one of its flushes loses or breaks a message at some cut.
TEST_F(RequeuePowerLoss, ARequeueThatLeavesOutAFlushIsCaught) {
  const fs::path messagesDir = (server.outbound() / "messages").lexically_normal();
  const fs::path outboundDir = server.outbound().lexically_normal();
  const auto flushesDir = [](const fs::path& dir) {
    return [dir](const std::vector<fs::path>&, const std::vector<fs::path>& dirs) {
      return dirs.size() == 1 && dirs[0].lexically_normal() == dir;
    };
  };
  const struct {
    const char* flush;
    SkippingFlushes::Pick skip;
  } cases[] = {
      {"the new files' bytes", [](const std::vector<fs::path>& files,
                                  const std::vector<fs::path>&) { return !files.empty(); }},
      {"the message files' names", flushesDir(messagesDir)},
      {"the command files' names", flushesDir(outboundDir)},
  };
  for (const auto& c : cases) {
    PowerLossFileSystem files = ParkedFiles();
    SkippingFlushes skipping(files, c.skip);
    Requeue(Names(), {}, skipping);
    EXPECT_THAT(CheckEveryCut(files).problems, ::testing::Not(IsEmpty())) << c.flush;
  }
}

}  // namespace
}  // namespace velmoth
