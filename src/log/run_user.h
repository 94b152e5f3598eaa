// Who made a run, as the trail names them: the real user and, on Linux, for a
// run through sudo, who ran sudo.
#pragma once

#include <string>

namespace velmoth {

struct RunUser {
  std::string name;      // empty when the system would not say
  std::string sudoUser;  // empty unless run through sudo
};

// The user of this process: on Linux the real user's login name, on Windows
// GetUserNameW's.
RunUser CurrentUser();

#ifndef _WIN32
// The user of `realUid`, "#<uid>" when it has no login name. `sudoUser` (sudo's
// SUDO_USER) counts only for root: anyone else could set it to blame another.
RunUser UserOf(unsigned realUid, const char* sudoUser);
#endif

}  // namespace velmoth
