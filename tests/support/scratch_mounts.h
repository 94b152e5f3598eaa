// Real file-system faults for tests run as root: a small tmpfs that fills up, a
// directory mounted read-only; in a mount namespace of the test program's own, so
// that no other process sees them and none outlives it. POSIX only.
#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

namespace velmoth::testing {

class ScratchMounts {
 public:
  ScratchMounts() = default;
  // Unmounts whatever is still mounted, the last first.
  ~ScratchMounts();
  ScratchMounts(const ScratchMounts&) = delete;
  ScratchMounts& operator=(const ScratchMounts&) = delete;

  // Whether this program may mount: it has moved into a mount namespace of its
  // own. False for a user who may not.
  static bool Allowed();

  // Each throws a std::runtime_error when the kernel refuses.
  void Tmpfs(const std::filesystem::path& dir, std::size_t bytes);
  // A tmpfs mounted here grows or shrinks to `bytes`.
  void Resize(const std::filesystem::path& dir, std::size_t bytes);
  // `dir` is bound over itself, read-only.
  void ReadOnly(const std::filesystem::path& dir);
  void Unmount(const std::filesystem::path& dir);

 private:
  std::vector<std::filesystem::path> mounted_;
};

}  // namespace velmoth::testing
