// Permission bits that bind a test running as root: the capabilities that let
// root read and write past them are set aside for a while, so that a file
// without read bits really cannot be read. POSIX only.
#pragma once

namespace velmoth::testing {

// For as long as it lives, this process reads, writes and lists only what the
// permission bits let its user; a process that is not root always does.
class PermissionsEnforced {
 public:
  PermissionsEnforced();
  // Puts the capabilities back.
  ~PermissionsEnforced();
  PermissionsEnforced(const PermissionsEnforced&) = delete;
  PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

 private:
  unsigned saved_[2] = {};  // the effective sets of the two capability words
};

}  // namespace velmoth::testing
