// Fuzzes the scan over a Bad Mail directory made from the input: each parked
// file's name, kind and content come from the bytes. Whatever is there, every
// file is accounted for exactly once, and each candidate is what the rules say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "queue/bad_mail_scan.h"
#include "support/mail_server.h"

namespace {

namespace fs = std::filesystem;
using velmoth::LeftOutReason;

// Reads one parked file's description off the front of the input: a byte of
// flags, a short name, and the command file's text up to a NUL.
struct Parked {
  std::string name;
  std::string command;
  bool hasMessage;
  bool commandIsLink;
};

bool Take(std::string_view& input, Parked& parked) {
  if (input.size() < 2) return false;
  const auto flags = static_cast<unsigned char>(input[0]);
  const std::size_t nameLength = 1 + static_cast<unsigned char>(input[1]) % 12;
  input.remove_prefix(2);
  parked.name = "m" + std::to_string(flags) + "-";
  for (char c : input.substr(0, nameLength))
    parked.name += static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
  input.remove_prefix(std::min(nameLength, input.size()));
  const std::size_t end = std::min(input.find('\0'), input.size());
  parked.command = std::string(input.substr(0, end));
  input.remove_prefix(std::min(end + 1, input.size()));
  parked.hasMessage = (flags & 1) != 0;
  parked.commandIsLink = (flags & 6) == 6;
  return true;
}

bool Excludes(const std::string& command) {
  std::string upper = command;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find("STATUS=SPOOLING") != std::string::npos ||
         upper.find("COMMANDTYPE=NDR") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmoth::testing::MailServer server;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::map<std::string, Parked> parked;
  Parked next;
  while (parked.size() < 16 && Take(input, next)) {
    if (parked.count(next.name)) continue;
    if (next.commandIsLink) {
      velmoth::testing::WriteFile(server.root() / "outside", next.command);
      fs::create_symlink(server.root() / "outside", server.badMail() / next.name);
    } else {
      velmoth::testing::WriteFile(server.badMail() / next.name, next.command);
    }
    if (next.hasMessage)
      velmoth::testing::WriteFile(server.badMail() / "messages" / next.name, next.name);
    parked[next.name] = next;
  }

  velmoth::NativeFileSystem files;
  const velmoth::BadMailScan scan = velmoth::ScanBadMail(files, server.locations());
  std::map<std::string, int> seen;
  for (const auto& entry : scan.candidates) {
    ++seen[entry.name];
    const Parked& file = parked.at(entry.name);
    if (file.commandIsLink || !file.hasMessage || Excludes(file.command)) std::abort();
    if (entry.size != entry.name.size()) std::abort();
  }
  for (const auto& file : scan.leftOut) {
    ++seen[file.name];
    const Parked& what = parked.at(file.name);
    const bool expected = what.commandIsLink ? file.reason == LeftOutReason::kNotRegularFile
                          : Excludes(what.command)
                              ? file.reason == LeftOutReason::kSpooling ||
                                    file.reason == LeftOutReason::kNonDeliveryReport
                              : file.reason == LeftOutReason::kNoMessageFile && !what.hasMessage;
    if (!expected) std::abort();
  }
  for (const auto& [name, file] : parked) {
    if (seen[name] != 1) std::abort();
  }
  return 0;
}
