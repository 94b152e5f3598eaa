// Where a file was opened: a name in a directory, joined to the directory's path
// only when asked for, as a scan of many files rarely needs it; or a whole path.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "base/path_text.h"

namespace velmoth {

class OpenedPath {
 public:
  // `name` is the name's text: bytes on POSIX, UTF-8 on Windows.
  OpenedPath(std::shared_ptr<const std::filesystem::path> dir, std::string name)
      : dir_(std::move(dir)), name_(std::move(name)) {}
  explicit OpenedPath(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& get() const {
    if (dir_) {
      path_ = *dir_ / PathFromText(name_);
      dir_.reset();
    }
    return path_;
  }

 private:
  mutable std::shared_ptr<const std::filesystem::path> dir_;
  std::string name_;
  mutable std::filesystem::path path_;
};

}  // namespace velmoth
