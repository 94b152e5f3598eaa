// The scratch mail server off Windows: a Wine prefix of its own, whose drive Q:
// holds the queues and whose system.reg holds the registry values.
#include <stdlib.h>

#include <fstream>
#include <random>

#include "fixtures/wine_registry_text.h"
#include "support/mail_server.h"

namespace velmoth::testing {

namespace fs = std::filesystem;

MailServer::MailServer() {
  std::random_device random;
  root_ = fs::temp_directory_path() / ("velmoth-test-" + std::to_string(random()));
  fs::create_directories(root_ / "prefix" / "dosdevices");
  fs::create_directories(root_ / "drive");
  fs::create_symlink(root_ / "drive", root_ / "prefix" / "dosdevices" / "q:");
  locations_ = FixedQueueLocations(badMail(), outbound());
  fs::create_directories(badMail() / "messages");
  fs::create_directories(outbound() / "messages");
  if (const char* prefix = getenv("WINEPREFIX")) {
    hadPrefix_ = true;
    savedPrefix_ = prefix;
  }
  setenv("WINEPREFIX", (root_ / "prefix").c_str(), 1);
  Configure(BadMailValue(), OutboundValue());
}

MailServer::~MailServer() {
  if (hadPrefix_) {
    setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  std::error_code ignored;
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

fs::path MailServer::mail() const { return root_ / "prefix" / "dosdevices" / "q:" / "Mail"; }

std::string MailServer::BadMailValue() { return "Q:\\Mail\\Bad Mail"; }
std::string MailServer::OutboundValue() { return "Q:\\Mail\\Queue\\Outbound"; }

void MailServer::WriteRegistry(const std::string& badMailValue, const std::string& outboundValue) {
  ConfigureData(badMailValue.empty() ? "" : fixtures::RegText(badMailValue),
                outboundValue.empty() ? "" : fixtures::RegText(outboundValue));
}

void MailServer::ConfigureData(const std::string& badMailData, const std::string& outboundData) {
  std::ofstream reg(root_ / "prefix" / "system.reg", std::ios::binary | std::ios::trunc);
  fixtures::WriteServerRegistry(reg, badMailData, outboundData);
}

}  // namespace velmoth::testing
