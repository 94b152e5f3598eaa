// The real user from the password database, and SUDO_USER for root.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "log/run_user.h"

namespace velmoth {
namespace {

// The login name of `uid`, its buffer grown while the entry does not fit.
std::string LoginName(uid_t uid) {
  for (std::size_t size = 1024; size <= 1 << 20; size *= 2) {
    std::vector<char> buffer(size);
    passwd entry{};
    passwd* found = nullptr;
    const int result = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (result == ERANGE) continue;
    if (result == 0 && found != nullptr) return found->pw_name;
    break;
  }
  // Not "#" + number: GCC 12 at -O3 warns falsely of an overlap in that append.
  std::string unknown = std::to_string(uid);
  unknown.insert(unknown.begin(), '#');
  return unknown;
}

}  // namespace

RunUser UserOf(unsigned realUid, const char* sudoUser) {
  RunUser user{LoginName(realUid), {}};
  if (realUid == 0 && sudoUser != nullptr) user.sudoUser = sudoUser;
  return user;
}

RunUser CurrentUser() { return UserOf(getuid(), std::getenv("SUDO_USER")); }

}  // namespace velmoth
