// Writes a benchmark's mail server: the directories, the drive link, the two
// registry values in Wine's text format, the parked messages and, last, the list
// of candidates, whose presence says the server is complete.
#include "bench_server.h"

#include <fstream>
#include <stdexcept>

#include "bad_mail_tree.h"

namespace velmoth::bench {
namespace {

namespace fs = std::filesystem;

// A registry string as Wine's text format writes it.
std::string RegText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

void WriteRegistry(const fs::path& file) {
  std::ofstream reg(file, std::ios::binary | std::ios::trunc);
  reg << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
      << "[Software\\\\korvane\\\\korvane] 1700000000\n"
      << RegText("Bad Mail Directory") << "=" << RegText(BenchServer::kBadMailValue) << "\n\n"
      << "[Software\\\\korvane\\\\korvane\\\\connectors\\\\smtp] 1700000000\n"
      << RegText("Outbound Queue Directory") << "=" << RegText(BenchServer::kOutboundValue) << "\n";
  if (!reg.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

void BenchServer::Make(int count) const {
  fs::remove_all(root_);
  fs::create_directories(prefix() / "dosdevices");
  fs::create_directories(badMail() / "messages");
  fs::create_directories(outbound() / "messages");
  fs::create_directory_symlink("../../drive", prefix() / "dosdevices" / "q:");
  WriteRegistry(prefix() / "system.reg");
  const BadMailTree tree = ParkMessages(badMail(), count);
  const fs::path unfinished = root_ / "candidates.part";
  std::ofstream list(unfinished, std::ios::binary | std::ios::trunc);
  for (const std::string& name : tree.candidates) list << name << '\n';
  if (!list.flush()) throw std::runtime_error("cannot write " + unfinished.string());
  fs::rename(unfinished, candidatesFile());
}

bool BenchServer::IsMade() const { return fs::exists(candidatesFile()); }

std::vector<std::string> BenchServer::Candidates() const {
  std::ifstream list(candidatesFile(), std::ios::binary);
  std::vector<std::string> names;
  for (std::string name; std::getline(list, name);) names.push_back(name);
  return names;
}

}  // namespace velmoth::bench
