// A mail server for tests: a scratch directory with the server's two registry
// values and its Bad Mail and outbound queue directories, with helpers to park
// messages and read back what a requeue left behind.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "config/queue_locations.h"

namespace velmoth::testing {

namespace fs = std::filesystem;

// Reads a whole file as bytes; empty when it is missing.
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);
// The names of the entries directly inside `dir`, sorted.
std::vector<std::string> EntryNames(const fs::path& dir);

class MailServer {
 public:
  MailServer();
  ~MailServer();
  MailServer(const MailServer&) = delete;
  MailServer& operator=(const MailServer&) = delete;

  // Points the registry values at these directory texts, as the server stores them
  // (an empty text removes the value).
  void Configure(const std::string& badMailValue, const std::string& outboundValue);
  // Off Windows: writes each value's data as system.reg holds it, whatever the
  // text (`"Q:\\Mail"`, `dword:00000001`, a string never closed); an empty
  // text leaves the value out.
  void ConfigureData(const std::string& badMailData, const std::string& outboundData);

  // Parks a message: its command file, and its message file unless `message` is null.
  void Park(const std::string& name, const std::string& command, const char* message = "body");

  const fs::path& root() const { return root_; }
  // The directories as this process reaches them.
  fs::path badMail() const { return mail() / "Bad Mail"; }
  fs::path outbound() const { return mail() / "Queue" / "Outbound"; }
  // The same as the queues' fixed locations.
  const QueueLocations& locations() const { return locations_; }
  // The directory that holds both queues.
  fs::path mail() const;
  // The directory texts the registry holds by default.
  static std::string BadMailValue();
  static std::string OutboundValue();

 private:
  void WriteRegistry(const std::string& badMailValue, const std::string& outboundValue);

  fs::path root_;
  FixedQueueLocations locations_{{}, {}};
  std::string savedPrefix_;
  bool hadPrefix_ = false;
};

}  // namespace velmoth::testing
