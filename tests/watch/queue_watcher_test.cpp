// The queue watch's rules on events made up here: which names it reports, when
// it asks for a rescan, and which directories it follows anew.
#include "watch/queue_watcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "base/path_text.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// P, Q and M: the directory the queue directory lies in, the queue directory, messages.
WatchedDirectory DirectoryOf(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  return upper == 'P'   ? WatchedDirectory::kParent
         : upper == 'Q' ? WatchedDirectory::kQueue
                        : WatchedDirectory::kMessages;
}

// Follows the directories a step's `present` names: "PQM", a lower-case letter
// for one that is there but cannot be followed.
class FakeSource final : public WatchEventSource {
 public:
  std::string present;
  std::vector<WatchEvent> events;
  std::string watched;          // the letter of each Watch call, in order
  std::vector<fs::path> paths;  // and its path

  bool Watch(WatchedDirectory directory, const fs::path& path) override {
    const char letter = "PQM"[static_cast<int>(directory)];
    watched += letter;
    paths.push_back(path);
    if (present.find(static_cast<char>(std::tolower(letter))) != std::string::npos) {
      throw FileError(ErrorKind::kNoSpace, 28, "No space left on device", PathText(path));
    }
    return present.find(letter) != std::string::npos;
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

// "Q+a, M~b/, P-Bad Mail, Q!, Mx": a directory's letter, then + for added, - for
// removed, ~ for changed, ! for events lost, x for the directory gone; a name
// ending in / is a directory.
std::vector<WatchEvent> ParseEvents(const std::string& text) {
  std::vector<WatchEvent> events;
  std::istringstream in(text);
  for (std::string token; std::getline(in >> std::ws, token, ',');) {
    const std::string kinds = "+-~!x";
    WatchEvent event{DirectoryOf(token[0]), static_cast<WatchEventKind>(kinds.find(token[1])),
                     token.substr(2)};
    event.isDirectory = event.name.ends_with('/');
    if (event.isDirectory) event.name.pop_back();
    events.push_back(event);
  }
  return events;
}

struct Step {
  const char* present;
  const char* events;
  const char* names;       // told by Take, or "rescan"
  const char* watched;     // followed anew in the take
  const char* notes = "";  // "failed": failure() is told; "at take": only Take tells the rescan
};

struct WatchCase {
  const char* name;
  const char* presentAtStart;
  std::vector<Step> steps;
};

// On Windows "Messages" is "messages", and "BAD MAIL" the queue directory's entry.
#ifdef _WIN32
constexpr Step kLetterCase{"PQM", "Q+Messages/, P+BAD MAIL/", "rescan", "QM"};
#else
constexpr Step kLetterCase{"PQM", "Q+Messages/, P+BAD MAIL/", "", ""};
#endif

const WatchCase kWatchCases[] = {
    {"NamesOfBothDirectoriesMakeOneSet",
     "PQM",
     {{"PQM", "Q+a, M+a, M~a, Q~b, Q-c, M-c, M+d", "a b c d", ""},
      {"PQM", "Q-a", "a", ""},
      {"PQM", "", "", ""}}},
    {"SubdirectoriesAndTheirChangesAreNoNames",
     "PQM",
     {{"PQM", "Q+sub/, M+deeper/, Q~messages/, Q-sub/, Q+a", "a", ""}}},
    {"LostEventsAskForOneRescanAndFollowEverythingAnew",
     "PQM",
     {{"PQM", "Q+a, Q!, M+b", "rescan", "PQM"}, {"PQM", "Q+c", "c", ""}}},
    {"QueueDirectoryGoneThenMadeAgain",
     "PQM",
     {{"P", "Qx", "rescan", "QM"},
      {"P", "P+elsewhere", "", "PQM"},
      {"PQM", "P+Bad Mail/", "rescan", "QM"},
      {"PQM", "M+a", "a", ""}}},
    {"QueueDirectoryRenamedAwayAndReplaced",
     "PQM",
     {{"PQM", "P-Bad Mail/, P+Bad Mail/", "rescan", "QM"}, {"PQM", "P~Bad Mail/", "", ""}}},
    {"QueueDirectoryWithoutItsParentIsTriedAgainAtEachTake",
     "PQM",
     {{"", "Px", "rescan", "PQM"},
      {"", "", "", "PQM"},
      {"PQM", "", "rescan", "PQM", "at take"},
      {"PQM", "", "", ""}}},
    {"MessagesMadeAfterTheWatchBegan",
     "PQ",
     {{"PQ", "Q+a", "a", ""}, {"PQM", "Q+messages/", "rescan", "M"}, {"PQM", "M+b", "b", ""}}},
    {"MessagesRemovedOrReplacedByALink",
     "PQM",
     {{"PQ", "Mx, Q-messages/, Q+messages", "rescan", "M"}, {"PQ", "Q+a", "a", ""}}},
    {"DirectoryThatCannotBeFollowedIsReported",
     "PQM",
     {{"PqM", "Qx", "rescan", "QM", "failed"},
      {"PqM", "", "", "PQM", "failed"},
      {"PQM", "P+Bad Mail/", "rescan", "QM"}}},
    {"LetterCaseOfTheDirectoriesEntries", "PQM", {kLetterCase}},
};

void PrintTo(const WatchCase& test, std::ostream* out) { *out << test.name; }

class QueueWatcherCase : public ::testing::TestWithParam<WatchCase> {};

TEST_P(QueueWatcherCase, ReportsWhatChanged) {
  const WatchCase& test = GetParam();
  auto owned = std::make_unique<FakeSource>();
  FakeSource& source = *owned;
  source.present = test.presentAtStart;
  QueueWatcher watcher(fs::path("/srv/mail/Bad Mail"), std::move(owned));
  for (const Step& step : test.steps) {
    SCOPED_TRACE(std::string(step.present) + " / " + step.events);
    source.present = step.present;
    source.events = ParseEvents(step.events);
    source.watched.clear();
    const std::string notes = step.notes;
    const bool rescan = std::string(step.names) == "rescan";
    const bool collected = watcher.Collect();
    const QueueChanges changes = watcher.Take();
    std::string names;
    for (const std::string& name : changes.names) names += (names.empty() ? "" : " ") + name;
    EXPECT_EQ(changes.rescan ? "rescan" : names, step.names);
    EXPECT_EQ(collected, (rescan || !names.empty()) && notes != "at take");
    EXPECT_EQ(source.watched, step.watched);
    EXPECT_EQ(watcher.failure().has_value(), notes == "failed");
    if (changes.rescan) {
      EXPECT_EQ(names, "") << "a rescan tells no names";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Events, QueueWatcherCase, ::testing::ValuesIn(kWatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where the watch looks for the queue directory, its messages and its entry.
TEST(QueueWatcherPaths, FollowsTheQueueItsMessagesAndWhereItLies) {
  const std::vector<std::pair<const char*, std::vector<fs::path>>> cases = {
      {"/srv/mail/Bad Mail/", {"/srv/mail", "/srv/mail/Bad Mail", "/srv/mail/Bad Mail/messages"}},
      {"/srv/./mail/Bad Mail", {"/srv/mail", "/srv/mail/Bad Mail", "/srv/mail/Bad Mail/messages"}},
      {"Bad Mail", {".", "Bad Mail", "Bad Mail/messages"}},
      {"/", {"/", "/messages"}},  // a root lies in nothing, and cannot be replaced
  };
  for (const auto& [queue, followed] : cases) {
    auto owned = std::make_unique<FakeSource>();
    const FakeSource& source = *owned;
    QueueWatcher watcher(fs::path(queue), std::move(owned));
    std::vector<fs::path> expected;
    for (const fs::path& path : followed) expected.push_back(path.lexically_normal());
    EXPECT_EQ(source.paths, expected) << queue;
  }
}

}  // namespace
}  // namespace velmoth
