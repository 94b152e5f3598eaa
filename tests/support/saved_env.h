// Puts an environment variable back as it was, for tests that point WINEPREFIX or
// HOME elsewhere. POSIX only.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace velmoth::testing {

class SavedEnv {
 public:
  explicit SavedEnv(const char* name) : name_(name) {
    if (const char* value = ::getenv(name)) value_ = value;
  }
  ~SavedEnv() {
    if (value_) {
      ::setenv(name_, value_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  SavedEnv(const SavedEnv&) = delete;
  SavedEnv& operator=(const SavedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> value_;
};

}  // namespace velmoth::testing
