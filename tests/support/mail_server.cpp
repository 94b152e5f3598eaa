// The scratch mail server's directories and files, shared by every platform.
#include "support/mail_server.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "base/path_text.h"

namespace velmoth::testing {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> EntryNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(PathText(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

void MailServer::Configure(const std::string& badMailValue, const std::string& outboundValue) {
  WriteRegistry(badMailValue, outboundValue);
}

void MailServer::Park(const std::string& name, const std::string& command, const char* message) {
  const fs::path file = PathFromText(name);
  WriteFile(badMail() / file, command);
  if (message != nullptr) WriteFile(badMail() / "messages" / file, message);
}

}  // namespace velmoth::testing
