// The crash check of a requeue: sample messages, the queues read off the disk, and
// each message's state on a disk judged from its four files.
#include "support/requeue_crash_check.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "support/mail_server.h"

namespace velmoth::testing {
namespace {

namespace fs = std::filesystem;

const std::string* Find(const Disk& disk, const fs::path& path) {
  const auto found = disk.find(path);
  return found == disk.end() ? nullptr : &found->second;
}

// Whether `line` is "NextSendTime=" or "TimeAcquired=", a number and CR LF.
bool IsStampLine(std::string_view line) {
  const std::size_t number = line.find('=') + 1;
  const std::string_view key = line.substr(0, number);
  return (key == "NextSendTime=" || key == "TimeAcquired=") && line.ends_with("\r\n") &&
         line.size() > number + 2 &&
         line.find_first_not_of("0123456789", number) == line.size() - 2;
}

// The command file with the number of each time-stamp line written as "#".
std::string WithoutStamps(std::string_view command) {
  std::string out;
  while (!command.empty()) {
    const std::size_t length = std::min(command.find('\n'), command.size() - 1) + 1;
    const std::string_view line = command.substr(0, length);
    command.remove_prefix(length);
    out += IsStampLine(line) ? std::string(line.substr(0, line.find('=') + 1)) + "#\r\n"
                             : std::string(line);
  }
  return out;
}

void CheckMessage(const Disk& disk, const QueuePlaces& places, const ParkedMessage& expected,
                  std::vector<std::string>& problems) {
  const MessagePaths paths = PathsOf(places, expected.name);
  const std::string* parkedCommand = Find(disk, paths.parkedCommand);
  const std::string* parkedMessage = Find(disk, paths.parkedMessage);
  const std::string* command = Find(disk, paths.command);
  const std::string* message = Find(disk, paths.message);
  const auto problem = [&](const char* what) { problems.push_back(expected.name + ": " + what); };
  if (parkedCommand && *parkedCommand != expected.command) problem("parked command file changed");
  if (parkedMessage && *parkedMessage != expected.message) problem("parked message file changed");
  if (message && *message != expected.message) {
    problem("outbound message file is not the parked one");
  }
  if (command && WithoutStamps(*command) != expected.requeuedCommand) {
    problem("outbound command file is not the rewrite");
  }
  if (command && !message) problem("outbound command file without its message file");
  if (!(parkedCommand && parkedMessage) && !(command && message)) problem("whole in neither queue");
}

// A file at a name that is neither a message's nor a temporary one: a copy in the
// outbound "messages" directory, or a parked file claimed for its deletion in
// either Bad Mail directory, which a crash may leave under its private name.
void CheckStrays(const Disk& disk, const QueuePlaces& places,
                 const std::vector<ParkedMessage>& messages, std::vector<std::string>& problems) {
  std::set<fs::path> names;
  for (const ParkedMessage& message : messages) names.insert(PathFromText(message.name));
  const std::set<fs::path> temporaries = {(places.outbound / "messages").lexically_normal(),
                                          places.badMail.lexically_normal(),
                                          (places.badMail / "messages").lexically_normal()};
  for (const auto& [path, bytes] : disk) {
    const bool temporary =
        temporaries.contains(path.parent_path()) && IsTemporaryName(PathText(path.filename()));
    if (!temporary && !names.contains(path.filename())) {
      problems.push_back(PathText(path) + ": a file of no message");
    }
  }
}

}  // namespace

MessagePaths PathsOf(const QueuePlaces& places, const std::string& name) {
  const fs::path file = PathFromText(name);
  return {(places.badMail / file).lexically_normal(),
          (places.badMail / "messages" / file).lexically_normal(),
          (places.outbound / file).lexically_normal(),
          (places.outbound / "messages" / file).lexically_normal()};
}

std::vector<ParkedMessage> SampleMessages(std::size_t count, std::size_t messageBytes) {
  std::vector<ParkedMessage> messages;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    const std::string addresses = "From=<sender@example.org>\r\nTo=<rcpt" + n + "@example.net>\r\n";
    ParkedMessage& m = messages.emplace_back();
    m.name = "5E0C" + n + ".eml";
    m.command = "Status=Failed\r\nCommandType=SMTP\r\nRetries=" + std::to_string(i % 9 + 1) +
                "\r\nServer=mx" + n + ".example.net\r\nNextSendTime=1038000000\r\n" +
                "TimeAcquired=1037990000\r\n" + addresses;
    m.requeuedCommand =
        "Status=Unsent\r\nCommandType=SMTP\r\nRetries=0\r\nServer=\r\nNextSendTime=#\r\n"
        "TimeAcquired=#\r\n" +
        addresses;
    m.message = "Subject: message " + n + "\r\n\r\n";
    while (m.message.size() < messageBytes) {
      m.message += "Line at " + std::to_string(m.message.size()) + " of message " + n + ".\r\n";
    }
  }
  return messages;
}

Disk ReadQueues(const QueuePlaces& places) {
  Disk disk;
  for (const fs::path& dir : {places.badMail, places.badMail / "messages", places.outbound,
                              places.outbound / "messages"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (!entry.is_directory()) disk[entry.path().lexically_normal()] = ReadFile(entry.path());
    }
  }
  return disk;
}

std::vector<std::string> CrashProblems(const Disk& disk, const QueuePlaces& places,
                                       const std::vector<ParkedMessage>& messages) {
  std::vector<std::string> problems;
  for (const ParkedMessage& message : messages) CheckMessage(disk, places, message, problems);
  CheckStrays(disk, places, messages, problems);
  return problems;
}

bool WholeInOutbound(const Disk& disk, const QueuePlaces& places, const ParkedMessage& message) {
  const MessagePaths paths = PathsOf(places, message.name);
  const std::string* command = Find(disk, paths.command);
  const std::string* file = Find(disk, paths.message);
  return command && file && *file == message.message &&
         WithoutStamps(*command) == message.requeuedCommand;
}

}  // namespace velmoth::testing
