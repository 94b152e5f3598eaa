// Writes a benchmark's mail server: the directories, the drive link, the two
// registry values in Wine's text format, the parked messages and, last, the list
// of candidates, whose presence says the server is complete.
#include "bench_server.h"

#include <fstream>
#include <stdexcept>

#include "bad_mail_tree.h"
#include "fixtures/wine_registry_text.h"

namespace velmoth::bench {
namespace {

namespace fs = std::filesystem;

void WriteRegistry(const fs::path& file) {
  std::ofstream reg(file, std::ios::binary | std::ios::trunc);
  fixtures::WriteServerRegistry(reg, fixtures::RegText(BenchServer::kBadMailValue),
                                fixtures::RegText(BenchServer::kOutboundValue));
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
