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

namespace fs = std::filesystem;

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

  // Whether the requeue on `files` left every message durable in the outbound
  // queue and, with deletion, none of its parked files durable in Bad Mail.
  bool DurablyRequeued(const PowerLossFileSystem& files, bool deleteParked) const {
    const Disk durable = files.DisksAfterPowerLoss(files.operations(), {}).front();
    for (const ParkedMessage& message : messages) {
      const MessagePaths paths = PathsOf(places, message.name);
      if (!WholeInOutbound(durable, places, message)) return false;
      if (deleteParked &&
          (durable.contains(paths.parkedCommand) || durable.contains(paths.parkedMessage))) {
        return false;
      }
    }
    return true;
  }

  MailServer server;
  QueuePlaces places{server.badMail(), server.outbound()};
  FixedQueueLocations locations{server.badMail().lexically_normal(),
                                server.outbound().lexically_normal()};
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
      for (const RequeueRow& row : Requeue(Names(), options, files, locations)) {
        EXPECT_EQ(row.outcome, RequeueOutcome::kRequeued) << run << ": " << row.name;
      }
      const Cuts cuts = CheckEveryCut(files);
      EXPECT_THAT(cuts.problems, IsEmpty()) << run;
      EXPECT_TRUE(DurablyRequeued(files, deleteParked)) << run;
      std::cout << "[   CUTS   ] " << run << ": " << cuts.cuts << " cuts, " << cuts.disks
                << " disks checked\n";
    }
  }
}

// The check itself must see the faults it is there for: a requeue that leaves out
// any one of its flushes loses or breaks a message at some cut, or leaves its
// parked files to come back after the run.
TEST_F(RequeuePowerLoss, ARequeueThatLeavesOutAFlushIsCaught) {
  const fs::path messagesDir = (server.outbound() / "messages").lexically_normal();
  const fs::path outboundDir = server.outbound().lexically_normal();
  const fs::path badMailDir = server.badMail().lexically_normal();
  const struct {
    const char* flush;
    std::function<bool(const fs::path& dir, bool names)> skip;
  } cases[] = {
      {"the new files' bytes", [](const fs::path&, bool names) { return !names; }},
      {"the message files' names",
       [&](const fs::path& dir, bool names) { return names && dir == messagesDir; }},
      {"the command files' names",
       [&](const fs::path& dir, bool names) { return names && dir == outboundDir; }},
      {"Bad Mail's names after the deletions",
       [&](const fs::path& dir, bool names) { return names && dir == badMailDir; }},
  };
  for (const auto& c : cases) {
    PowerLossFileSystem files = ParkedFiles();
    files.skipFlush = c.skip;
    Requeue(Names(), {}, files, locations);
    EXPECT_TRUE(!CheckEveryCut(files).problems.empty() || !DurablyRequeued(files, true)) << c.flush;
  }
}

}  // namespace
}  // namespace velmoth
