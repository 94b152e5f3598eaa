// A mail server on disk for benchmarks that outlives the program making it: a
// Wine prefix whose drive Q: holds both queues and whose system.reg names them,
// with parked messages, so that one tree serves several benchmark programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmoth::bench {

class BenchServer {
 public:
  // The server at `root`, made or not.
  explicit BenchServer(std::filesystem::path root) : root_(std::move(root)) {}

  // Makes the server afresh with `count` parked messages.
  void Make(int count) const;
  // Whether Make finished here.
  bool IsMade() const;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path prefix() const { return root_ / "prefix"; }
  std::filesystem::path badMail() const { return root_ / "drive" / "Mail" / "Bad Mail"; }
  std::filesystem::path outbound() const { return root_ / "drive" / "Mail" / "Queue" / "Outbound"; }
  // The names a scan must list, one a line, as Make wrote them.
  std::vector<std::string> Candidates() const;

  // The queue directories as the registry names them, on drive Q:.
  static constexpr char kBadMailValue[] = "Q:\\Mail\\Bad Mail";
  static constexpr char kOutboundValue[] = "Q:\\Mail\\Queue\\Outbound";

 private:
  std::filesystem::path candidatesFile() const { return root_ / "candidates"; }

  std::filesystem::path root_;
};

}  // namespace velmoth::bench
