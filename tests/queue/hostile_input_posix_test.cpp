// What only POSIX lets into the Bad Mail directory or system.reg, through the scan
// and the requeue: names of any bytes, files that are no plain files, registry
// values of every wrong make, and a 200 MB line read in bounded memory.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/path_text.h"
#include "support/child_process.h"
#include "support/parked_case.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::CheckParkedCase;
using testing::ChildChannel;
using testing::ChildProcess;
using testing::MailServer;
using testing::OutsideFile;
using testing::ParkedCase;
using testing::ReadFile;
using testing::WriteFile;

using Arrange = std::function<void(MailServer&, const std::string&)>;

fs::path CommandPath(const MailServer& server, const std::string& name) {
  return server.badMail() / PathFromText(name);
}
fs::path MessagePath(const MailServer& server, const std::string& name) {
  return server.badMail() / "messages" / PathFromText(name);
}

void MakeSocket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string shortPath = path.parent_path().parent_path().string() + "/s";
  shortPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  fs::rename(shortPath, path);
}

// Either file of the message made by `make`, the other a plain one.
Arrange CommandFile(std::function<void(MailServer&, const fs::path&)> make) {
  return [make](MailServer& server, const std::string& name) {
    server.Park(name, "Status=Failed", "body");
    fs::remove(CommandPath(server, name));
    make(server, CommandPath(server, name));
  };
}
Arrange MessageFile(std::function<void(MailServer&, const fs::path&)> make) {
  return [make](MailServer& server, const std::string& name) {
    server.Park(name, "Status=Failed", "body");
    fs::remove(MessagePath(server, name));
    make(server, MessagePath(server, name));
  };
}

void Fifo(MailServer&, const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }
void Socket(MailServer&, const fs::path& path) { MakeSocket(path); }
void Directory(MailServer&, const fs::path& path) { fs::create_directory(path); }
void LinkOut(MailServer& server, const fs::path& path) {
  fs::create_symlink(OutsideFile(server), path);
}
void Dangling(MailServer& server, const fs::path& path) {
  fs::create_symlink(server.root() / "nothing", path);
}
void HardLinkOut(MailServer& server, const fs::path& path) {
  fs::create_hard_link(OutsideFile(server), path);
}

// A plainly parked message under an odd name.
ParkedCase Named(std::string what, std::string name) {
  return {.what = std::move(what),
          .name = std::move(name),
          .command = "Status=Failed\r\n",
          .outbound = "Status=Unsent\r\n"};
}

// A message one of whose files is no plain file: never read, never requeued.
ParkedCase NotPlain(std::string what, Arrange arrange) {
  return {.what = what,
          .name = what,
          .arrange = std::move(arrange),
          .leftOut = LeftOutReason::kNotRegularFile,
          .outcome = RequeueOutcome::kNoLongerCandidate};
}

TEST(HostileInputPosix, NamesOfAnyBytesAndFilesThatAreNoPlainFiles) {
  const ParkedCase cases[] = {
      Named("quotes", "quote\"d 'name'"),
      Named("line ends", "line\nbreak\rname"),
      Named("bytes that are not UTF-8", "\xff\xfe latin1 \xe9t\xe9 \xc0\xaf"),
      Named("backslashes and \"..\" between them", "..\\..\\Bad Mail\\x"),
      Named("255 bytes", std::string(251, 'n') + ".eml"),
      Named("trailing dots and blanks", "name. . "),
      Named("an option", "-rf --help"),
      NotPlain("command file a FIFO", CommandFile(Fifo)),
      NotPlain("message file a FIFO", MessageFile(Fifo)),
      NotPlain("command file a socket", CommandFile(Socket)),
      NotPlain("message file a socket", MessageFile(Socket)),
      NotPlain("message file a directory", MessageFile(Directory)),
      NotPlain("command file a link to a parked one",
               CommandFile([](MailServer& server, const fs::path& path) {
                 server.Park("target", "Status=Failed");
                 fs::create_symlink("target", path);
               })),
      NotPlain("command file a link leading out", CommandFile(LinkOut)),
      NotPlain("message file a link leading out", MessageFile(LinkOut)),
      NotPlain("command file a dangling link", CommandFile(Dangling)),
      {.what = "command file a directory",
       .name = "directory",
       .arrange = CommandFile(Directory),
       .passedOver = true,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      // A second name of a file outside: requeued, and only the name goes.
      {.what = "message file a hard link to a file outside",
       .name = "hard link",
       .message = "not mail",
       .arrange = MessageFile(HardLinkOut),
       .outbound = "Status=Unsent\r\n"},
  };
  for (const ParkedCase& c : cases) CheckParkedCase(c);
}

// A registry string as system.reg writes it.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A string value written as hex bytes of UTF-16LE, with no NUL at its end.
std::string HexWithoutTerminator(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "hex(1):";
  for (const char c : text) {
    out += {kHex[(c >> 4) & 0xF], kHex[c & 0xF], ',', '0', '0', ','};
  }
  out.pop_back();
  return out;
}

// How a lookup must fail. A path under "<prefix>" lies in the server's Wine prefix.
struct LookupFailure {
  int number;
  std::string description;
  std::string path;
  bool scanToo = true;  // false: the scan works, only the requeue fails
};

struct ValueCase {
  const char* what;
  std::string badMail;                        // the values' data as system.reg holds them
  std::optional<LookupFailure> failure = {};  // nothing: both queues are found
  std::string outbound = Quoted(MailServer::OutboundValue());
};

void ExpectFailure(const std::optional<FileError>& error, const LookupFailure& failure,
                   const MailServer& server) {
  ASSERT_TRUE(error) << "no error";
  std::string path = failure.path;
  if (path.starts_with("<prefix>")) path.replace(0, 8, (server.root() / "prefix").string());
  EXPECT_EQ(error->number(), failure.number);
  EXPECT_EQ(error->description(), failure.description);
  EXPECT_EQ(error->path(), path);
}

// A message parked under whatever values the registry holds: the scan and the
// requeue find the queues, or both fail alike and touch no file.
void CheckValueCase(const ValueCase& c) {
  SCOPED_TRACE(c.what);
  MailServer server;
  server.Park("m", "Status=Failed\r\n");
  server.ConfigureData(c.badMail, c.outbound);
  NativeFileSystem files;
  const RegistryQueueLocations locations;
  std::optional<FileError> scanError;
  BadMailScan scan;
  try {
    scan = ScanBadMail(files, locations);
  } catch (const FileError& error) {
    scanError = error;
  }
  RequeueOptions options;
  options.deleteParked = false;
  const std::vector<RequeueRow> rows = Requeue({"m"}, options, files, locations);
  if (!c.failure || !c.failure->scanToo) {
    EXPECT_FALSE(scanError) << scanError->what();
    EXPECT_EQ(scan.candidates.size(), 1u);
  } else {
    ExpectFailure(scanError, *c.failure, server);
  }
  if (!c.failure) {
    EXPECT_EQ(rows[0].outcome, RequeueOutcome::kRequeued);
    EXPECT_EQ(ReadFile(server.outbound() / "m"), "Status=Unsent\r\n");
    return;
  }
  EXPECT_EQ(rows[0].outcome, RequeueOutcome::kFailed);
  ExpectFailure(rows[0].error, *c.failure, server);
  EXPECT_EQ(testing::EntryNames(server.outbound()), std::vector<std::string>{"messages"});
  EXPECT_EQ(ReadFile(server.badMail() / "m"), "Status=Failed\r\n");
}

TEST(HostileInputPosix, RegistryValuesOfEveryWrongMake) {
  const std::string badMail = MailServer::BadMailValue();
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane";
  const std::string value = "The registry value \"Bad Mail Directory\"";
  const ValueCase cases[] = {
      {"empty", Quoted(""), {{ENOENT, value + " is empty", key}}},
      {"missing", "", {{ENOENT, value + " does not exist", key}}},
      {"a number", "dword:00000001", {{EINVAL, value + " is not a string", key}}},
      {"binary", "hex:51,00,3a,00", {{EINVAL, value + " is not a string", key}}},
      {"a string never closed",
       "\"Q:\\\\Mail\\\\Bad Mail",
       {{ENOENT, value + " does not exist", key}}},
      {"an expandable string", "str(2):" + Quoted(badMail)},
      {"a multi-string", "str(7):" + Quoted(badMail).insert(Quoted(badMail).size() - 1, "\\0x\\0")},
      {"a string without its terminating NUL", HexWithoutTerminator(badMail)},
      {"a NUL within the string", Quoted(badMail).insert(Quoted(badMail).size() - 1, "\\0junk")},
      {"a trailing backslash", Quoted(badMail + "\\")},
      {"forward slashes, lower case", Quoted("q:/mail/bad mail/")},
      {"relative",
       Quoted("Mail\\Bad Mail"),
       {{EINVAL, "The directory path is relative", "Mail\\Bad Mail"}}},
      {"UNC",
       Quoted("\\\\server\\share\\Bad Mail"),
       {{EINVAL, "A network (UNC) path cannot be opened under Wine",
         "\\\\server\\share\\Bad Mail"}}},
      {"no drive letter",
       Quoted("\\Mail\\Bad Mail"),
       {{EINVAL, "The directory path has no drive letter", "\\Mail\\Bad Mail"}}},
      {"relative to the drive's current directory",
       Quoted("Q:Mail\\Bad Mail"),
       {{EINVAL, "The directory path is relative to the drive's current directory",
         "Q:Mail\\Bad Mail"}}},
      {"on a drive the prefix does not map",
       Quoted("X:\\Mail\\Bad Mail"),
       {{ENOENT, "The drive X: is not mapped in the Wine prefix", "<prefix>/dosdevices/x:"}}},
      {"the outbound queue a number",
       Quoted(badMail),
       {{EINVAL, "The registry value \"Outbound Queue Directory\" is not a string",
         key + "\\connectors\\smtp", false}},
       "dword:00000001"},
      {"the outbound queue relative",
       Quoted(badMail),
       {{EINVAL, "The directory path is relative", "Queue", false}},
       Quoted("Queue")},
  };
  for (const ValueCase& c : cases) CheckValueCase(c);
}

// The line's bytes repeat this; 64 KiB holds it whole 4096 times, so that every
// block read ends in a CR whose line end is only known from the next block.
constexpr char kLinePattern[] = "abcdefghijklmno\r";
constexpr std::size_t kPatternSize = sizeof kLinePattern - 1;
constexpr std::size_t kChunk = 1 << 20;

std::unique_ptr<char[]> PatternChunk() {
  auto chunk = std::make_unique<char[]>(kChunk);
  for (std::size_t i = 0; i < kChunk; ++i) chunk[i] = kLinePattern[i % kPatternSize];
  return chunk;
}

// `head`, then `size` bytes of the pattern, written a megabyte at a time.
void WriteLongLine(const fs::path& path, const std::string& head, std::size_t size) {
  const auto chunk = PatternChunk();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << head;
  for (std::size_t done = 0; done < size; done += kChunk) out.write(chunk.get(), kChunk);
}

// Whether the file is `head`, `size` bytes of the pattern, then `tail`, read a
// megabyte at a time.
bool HoldsLongLine(const fs::path& path, const std::string& head, std::size_t size,
                   const std::string& tail) {
  const auto chunk = PatternChunk();
  const auto got = std::make_unique<char[]>(kChunk);
  std::ifstream in(path, std::ios::binary);
  std::string text(head.size(), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(text.size())) || text != head) {
    return false;
  }
  for (std::size_t done = 0; done < size; done += kChunk) {
    if (!in.read(got.get(), kChunk) || std::memcmp(got.get(), chunk.get(), kChunk) != 0) {
      return false;
    }
  }
  text.assign(tail.size() + 1, '\0');
  return static_cast<std::size_t>(in.read(text.data(), text.size()).gcount()) == tail.size() &&
         text.compare(0, tail.size(), tail) == 0;
}

// A line of /proc/self/status in kilobytes: "VmRSS:", "VmHWM:".
long StatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field)) return std::stol(line.substr(field.size()));
  }
  return -1;
}

// Scanned and requeued in a child forked for it, whose peak resident memory
// (VmHWM, which starts at what the child shares with the test program) may grow
// by less than 64 MB. The files are deleted with the scratch server.
TEST(HostileInputPosix, A200MegabyteLineIsScannedAndRequeuedInBoundedMemory) {
  constexpr std::size_t kLineSize = std::size_t{200} << 20;
  constexpr long kBoundKilobytes = 64 * 1024;
  MailServer server;
  WriteLongLine(server.badMail() / "long", "Status=Failed\r\nX-Long=", kLineSize);
  WriteFile(server.badMail() / "messages" / "long", "body");

  ChildProcess child([&server](ChildChannel& channel) {
    const long start = StatusKilobytes("VmRSS:");
    NativeFileSystem files;
    const BadMailScan scan = ScanBadMail(files, server.locations());
    const auto rows = Requeue({"long"}, {}, files, server.locations());
    channel.Tell(std::to_string(scan.candidates.size()) + " " +
                 std::to_string(static_cast<int>(rows[0].outcome)) + " " +
                 std::to_string(StatusKilobytes("VmHWM:") - start));
    return 0;
  });
  const ChildProcess::End end = child.Wait(std::chrono::seconds(60));
  ASSERT_EQ(end.exitCode, 0) << end.told;
  std::size_t candidates = 0;
  int outcome = -1;
  long grown = -1;
  std::istringstream(end.told) >> candidates >> outcome >> grown;
  EXPECT_EQ(candidates, 1u);
  EXPECT_EQ(outcome, static_cast<int>(RequeueOutcome::kRequeued));
  EXPECT_GE(grown, 0);
  EXPECT_LT(grown, kBoundKilobytes) << "peak memory grew by " << grown << " kB";
  EXPECT_TRUE(
      HoldsLongLine(server.outbound() / "long", "Status=Unsent\r\nX-Long=", kLineSize, "\r\n"));
  EXPECT_FALSE(fs::exists(server.badMail() / "long"));
}

}  // namespace
}  // namespace velmoth
