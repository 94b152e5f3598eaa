// Mounts in a private mount namespace, made once when a test first asks, and
// taken down by the object that made them.
#include <sched.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>

#include "support/scratch_mounts.h"

namespace velmoth::testing {
namespace {

void Check(int result, const char* what, const std::filesystem::path& dir) {
  if (result != 0) {
    throw std::runtime_error(std::string(what) + " " + dir.string() + ": " + std::strerror(errno));
  }
}

}  // namespace

bool ScratchMounts::Allowed() {
  // Private all the way down, so that no mount made here spreads back out.
  static const bool allowed = ::unshare(CLONE_NEWNS) == 0 &&
                              ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return allowed;
}

ScratchMounts::~ScratchMounts() {
  for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
}

void ScratchMounts::Tmpfs(const std::filesystem::path& dir, std::size_t bytes) {
  const std::string options = "size=" + std::to_string(bytes);
  Check(::mount("velmoth-test", dir.c_str(), "tmpfs", 0, options.c_str()), "tmpfs", dir);
  mounted_.push_back(dir);
}

void ScratchMounts::Resize(const std::filesystem::path& dir, std::size_t bytes) {
  const std::string options = "size=" + std::to_string(bytes);
  Check(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT, options.c_str()), "resize", dir);
}

void ScratchMounts::ReadOnly(const std::filesystem::path& dir) {
  Check(::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr), "bind", dir);
  mounted_.push_back(dir);
  Check(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr),
        "read-only", dir);
}

void ScratchMounts::Unmount(const std::filesystem::path& dir) {
  Check(::umount2(dir.c_str(), 0), "unmount", dir);
  const auto it = std::find(mounted_.rbegin(), mounted_.rend(), dir);
  if (it != mounted_.rend()) mounted_.erase(std::next(it).base());
}

}  // namespace velmoth::testing
