// The queue directories of a scratch mail server as the registry gives them,
// found whatever the letter case of its values, and the errors that name a
// missing value's key.
#include "config/queue_locations.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "base/file_error.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using testing::MailServer;

// The text with every ASCII letter in upper or lower case.
std::string AllInCase(std::string text, bool upper) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    c = static_cast<char>(upper ? std::toupper(byte) : std::tolower(byte));
  }
  return text;
}

TEST(QueueLocationsTest, FindsTheDirectoriesWhateverTheCaseOfTheValues) {
  MailServer server;
  const std::string badMail = MailServer::BadMailValue();
  const std::string outbound = MailServer::OutboundValue();
  const std::string values[][2] = {
      {badMail, outbound},
      {AllInCase(badMail, true), AllInCase(outbound, true)},
      {AllInCase(badMail, false), AllInCase(outbound, false)},
  };
  for (const auto& value : values) {
    server.Configure(value[0], value[1]);
    const RegistryQueueLocations locations;
    EXPECT_TRUE(fs::equivalent(locations.Directory(Queue::kBadMail), server.badMail())) << value[0];
    EXPECT_TRUE(fs::equivalent(locations.Directory(Queue::kOutbound), server.outbound()))
        << value[1];
  }
}

TEST(QueueLocationsTest, AMissingValueNamesItsKey) {
  MailServer server;
  const struct {
    const char* badMail;
    const char* outbound;
    Queue queue;
    std::string description;
    std::string path;
  } cases[] = {
      {"", "x", Queue::kBadMail, "The registry value \"Bad Mail Directory\" does not exist",
       "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane"},
      {"x", "", Queue::kOutbound, "The registry value \"Outbound Queue Directory\" does not exist",
       "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane\\connectors\\smtp"},
  };
  for (const auto& c : cases) {
    server.Configure(c.badMail, c.outbound);
    try {
      RegistryQueueLocations().Directory(c.queue);
      ADD_FAILURE() << c.description << ": no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kNotFound);
      EXPECT_EQ(error.description(), c.description);
      EXPECT_EQ(error.path(), c.path);
    }
  }
}

}  // namespace
}  // namespace velmoth
