// The queue watch's rules on events made up here: which names it reports, when
// it asks for a rescan, and which directories it follows anew.
#include "watch/queue_watcher.h"

#include <gtest/gtest.h>

#include <set>

#include "base/path_text.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using enum WatchedDirectory;
using enum WatchEventKind;

// Follows what a test says is there, and hands out the events it is given.
class FakeSource final : public WatchEventSource {
 public:
  std::set<WatchedDirectory> present{kParent, kQueue, kMessages};
  std::optional<WatchedDirectory> failing;  // there, but cannot be followed
  std::vector<WatchEvent> events;
  std::vector<WatchedDirectory> watched;  // every Watch call, in order
  std::vector<fs::path> paths;            // and the path it was given

  bool Watch(WatchedDirectory directory, const fs::path& path) override {
    watched.push_back(directory);
    paths.push_back(path);
    if (failing == directory) throw FileError(28, "No space left on device", PathText(path));
    return present.contains(directory);
  }
  void Read(std::vector<WatchEvent>& out) override {
    out.insert(out.end(), events.begin(), events.end());
    events.clear();
  }
#ifdef _WIN32
  std::span<void* const> waitHandles() const override { return {}; }
#else
  int waitDescriptor() const override { return -1; }
#endif
};

WatchEvent Entry(WatchedDirectory directory, WatchEventKind kind, std::string name) {
  return {directory, kind, std::move(name), false};
}
WatchEvent Subdirectory(WatchedDirectory directory, WatchEventKind kind, std::string name) {
  return {directory, kind, std::move(name), true};
}
WatchEvent Whole(WatchedDirectory directory, WatchEventKind kind) { return {directory, kind, {}}; }

const std::vector<WatchedDirectory> kAllAnew{kParent, kQueue, kMessages};
const std::vector<WatchedDirectory> kQueueAnew{kQueue, kMessages};
const std::vector<WatchedDirectory> kMessagesAnew{kMessages};

// One take: what is there to be followed from now on, the events that came, and
// what the take is to report.
struct Step {
  std::set<WatchedDirectory> present;
  std::vector<WatchEvent> events;
  std::set<std::string> names = {};
  bool rescan = false;
  std::vector<WatchedDirectory> watched = {};  // followed anew during the take
  std::optional<WatchedDirectory> failing = std::nullopt;
  bool failed = false;      // failure() tells of a directory not followed
  bool atTakeOnly = false;  // the changes come of the take trying the queue directory again
};

struct WatchCase {
  const char* name;
  std::set<WatchedDirectory> presentAtStart;
  std::vector<Step> steps;
};

const std::set<WatchedDirectory> kAll{kParent, kQueue, kMessages};
const std::set<WatchedDirectory> kNoMessages{kParent, kQueue};

// The folding of names on Windows: "Messages" is "messages" there, and
// "BAD MAIL" the queue directory's own entry.
#ifdef _WIN32
constexpr bool kLetterCaseAside = true;
#else
constexpr bool kLetterCaseAside = false;
#endif

const WatchCase kWatchCases[] = {
    {"NamesOfBothDirectoriesMakeOneSet",
     kAll,
     {{.present = kAll,
       .events = {Entry(kQueue, kAdded, "a"), Entry(kMessages, kAdded, "a"),
                  Entry(kMessages, kChanged, "a"), Entry(kQueue, kChanged, "b"),
                  Entry(kQueue, kRemoved, "c"), Entry(kMessages, kRemoved, "c"),
                  Entry(kMessages, kAdded, "d")},
       .names = {"a", "b", "c", "d"}},
      {.present = kAll, .events = {Entry(kQueue, kRemoved, "a")}, .names = {"a"}},
      {.present = kAll, .events = {}}}},
    {"SubdirectoriesAndTheirChangesAreNoNames",
     kAll,
     {{.present = kAll,
       .events = {Subdirectory(kQueue, kAdded, "sub"), Subdirectory(kMessages, kAdded, "deeper"),
                  Subdirectory(kQueue, kChanged, "messages"), Subdirectory(kQueue, kRemoved, "sub"),
                  Entry(kQueue, kAdded, "a")},
       .names = {"a"}}}},
    {"LostEventsAskForOneRescanAndFollowEverythingAnew",
     kAll,
     {{.present = kAll,
       .events = {Entry(kQueue, kAdded, "a"), Whole(kQueue, kLost), Entry(kMessages, kAdded, "b")},
       .rescan = true,
       .watched = kAllAnew},
      {.present = kAll, .events = {Entry(kQueue, kAdded, "c")}, .names = {"c"}}}},
    {"QueueDirectoryGoneThenMadeAgain",
     kAll,
     {{.present = {kParent},
       .events = {Whole(kQueue, kGone)},
       .rescan = true,
       .watched = kQueueAnew},
      {.present = {kParent}, .events = {Entry(kParent, kAdded, "elsewhere")}, .watched = kAllAnew},
      {.present = kAll,
       .events = {Subdirectory(kParent, kAdded, "Bad Mail")},
       .rescan = true,
       .watched = kQueueAnew},
      {.present = kAll, .events = {Entry(kMessages, kAdded, "a")}, .names = {"a"}}}},
    {"QueueDirectoryRenamedAwayAndReplaced",
     kAll,
     {{.present = kAll,
       .events = {Subdirectory(kParent, kRemoved, "Bad Mail"),
                  Subdirectory(kParent, kAdded, "Bad Mail")},
       .rescan = true,
       .watched = kQueueAnew},
      {.present = kAll, .events = {Subdirectory(kParent, kChanged, "Bad Mail")}}}},
    {"QueueDirectoryWithoutItsParentIsTriedAgainAtEachTake",
     kAll,
     {{.present = {}, .events = {Whole(kParent, kGone)}, .rescan = true, .watched = kAllAnew},
      {.present = {}, .events = {}, .watched = kAllAnew},
      {.present = kAll, .events = {}, .rescan = true, .watched = kAllAnew, .atTakeOnly = true},
      {.present = kAll, .events = {}}}},
    {"MessagesMadeAfterTheWatchBegan",
     kNoMessages,
     {{.present = kNoMessages, .events = {Entry(kQueue, kAdded, "a")}, .names = {"a"}},
      {.present = kAll,
       .events = {Subdirectory(kQueue, kAdded, "messages")},
       .rescan = true,
       .watched = kMessagesAnew},
      {.present = kAll, .events = {Entry(kMessages, kAdded, "b")}, .names = {"b"}}}},
    {"MessagesRemovedOrReplacedByALink",
     kAll,
     {{.present = kNoMessages,
       .events = {Whole(kMessages, kGone), Subdirectory(kQueue, kRemoved, "messages"),
                  Entry(kQueue, kAdded, "messages")},
       .rescan = true,
       .watched = kMessagesAnew},
      {.present = kNoMessages, .events = {Entry(kQueue, kAdded, "a")}, .names = {"a"}}}},
    {"MessagesRenamedAwayIsNoLongerFollowed",
     kAll,
     {{.present = kNoMessages,
       .events = {Subdirectory(kQueue, kRemoved, "messages"), Subdirectory(kQueue, kAdded, "old")},
       .rescan = true,
       .watched = kMessagesAnew}}},
    {"DirectoryThatCannotBeFollowedIsReported",
     kAll,
     {{.present = kAll,
       .events = {Whole(kQueue, kGone)},
       .rescan = true,
       .watched = kQueueAnew,
       .failing = kQueue,
       .failed = true},
      {.present = kAll, .events = {}, .watched = kAllAnew, .failing = kQueue, .failed = true},
      {.present = kAll,
       .events = {Subdirectory(kParent, kAdded, "Bad Mail")},
       .rescan = true,
       .watched = kQueueAnew}}},
    {"LetterCaseOfTheDirectoriesEntries",
     kAll,
     {{.present = kAll,
       .events = {Subdirectory(kQueue, kAdded, "Messages"),
                  Subdirectory(kParent, kAdded, "BAD MAIL")},
       .rescan = kLetterCaseAside,
       .watched = kLetterCaseAside ? kQueueAnew : std::vector<WatchedDirectory>{}}}},
};

void PrintTo(const WatchCase& test, std::ostream* out) { *out << test.name; }

class QueueWatcherCase : public ::testing::TestWithParam<WatchCase> {};

TEST_P(QueueWatcherCase, ReportsWhatChanged) {
  const WatchCase& test = GetParam();
  auto owned = std::make_unique<FakeSource>();
  FakeSource& source = *owned;
  source.present = test.presentAtStart;
  QueueWatcher watcher(fs::path("/srv/mail/Bad Mail"), std::move(owned));
  for (std::size_t index = 0; index < test.steps.size(); ++index) {
    const Step& step = test.steps[index];
    SCOPED_TRACE("take " + std::to_string(index + 1));
    source.present = step.present;
    source.failing = step.failing;
    source.events = step.events;
    source.watched.clear();
    EXPECT_EQ(watcher.Collect(), (step.rescan || !step.names.empty()) && !step.atTakeOnly);
    const QueueChanges changes = watcher.Take();
    EXPECT_EQ(changes.names, step.names);
    EXPECT_EQ(changes.rescan, step.rescan);
    EXPECT_EQ(source.watched, step.watched);
    EXPECT_EQ(watcher.failure().has_value(), step.failed);
  }
}

INSTANTIATE_TEST_SUITE_P(Events, QueueWatcherCase, ::testing::ValuesIn(kWatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where the watch looks for the queue directory, its messages and its entry.
TEST(QueueWatcherPaths, FollowsTheQueueItsMessagesAndWhereItLies) {
  struct PathCase {
    const char* queue;
    std::vector<fs::path> followed;
  };
  const PathCase cases[] = {
      {"/srv/mail/Bad Mail/", {"/srv/mail", "/srv/mail/Bad Mail", "/srv/mail/Bad Mail/messages"}},
      {"/srv/./mail/Bad Mail", {"/srv/mail", "/srv/mail/Bad Mail", "/srv/mail/Bad Mail/messages"}},
      {"Bad Mail", {".", "Bad Mail", "Bad Mail/messages"}},
      // A root lies in nothing, and cannot be replaced.
      {"/", {"/", "/messages"}},
  };
  for (const PathCase& test : cases) {
    auto owned = std::make_unique<FakeSource>();
    const FakeSource& source = *owned;
    QueueWatcher watcher(fs::path(test.queue), std::move(owned));
    std::vector<fs::path> expected;
    for (const fs::path& path : test.followed) expected.push_back(path.lexically_normal());
    EXPECT_EQ(source.paths, expected) << test.queue;
  }
}

}  // namespace
}  // namespace velmoth
