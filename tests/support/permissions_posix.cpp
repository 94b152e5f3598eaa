// Takes CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH out of the effective set and
// puts them back; both stay permitted, so no privilege is lost for good.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "support/permissions.h"

namespace velmoth::testing {
namespace {

struct Capabilities {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
};

Capabilities Current() {
  Capabilities caps;
  if (::syscall(SYS_capget, &caps.header, caps.data) != 0) {
    throw std::runtime_error(std::string("capget: ") + std::strerror(errno));
  }
  return caps;
}

void Apply(Capabilities& caps) {
  if (::syscall(SYS_capset, &caps.header, caps.data) != 0) {
    throw std::runtime_error(std::string("capset: ") + std::strerror(errno));
  }
}

constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

}  // namespace

PermissionsEnforced::PermissionsEnforced() {
  Capabilities caps = Current();
  saved_[0] = caps.data[0].effective;
  saved_[1] = caps.data[1].effective;
  caps.data[0].effective &= ~kOverrides;
  Apply(caps);
}

PermissionsEnforced::~PermissionsEnforced() {
  Capabilities caps = Current();
  caps.data[0].effective = saved_[0];
  caps.data[1].effective = saved_[1];
  try {
    Apply(caps);
  } catch (const std::exception&) {
    // Raising what is still permitted does not fail.
  }
}

}  // namespace velmoth::testing
