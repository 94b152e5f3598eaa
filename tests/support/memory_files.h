// Input and output files held in memory, for tests of what reads and writes
// queue files without a disk under it.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "files/file_system.h"

namespace velmoth::testing {

namespace fs = std::filesystem;

class StringInputFile final : public InputFile {
 public:
  explicit StringInputFile(std::string bytes, fs::path path = "memory")
      : bytes_(std::move(bytes)), path_(std::move(path)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t got = std::min(size, bytes_.size() - offset_);
    std::memcpy(buffer, bytes_.data() + offset_, got);
    offset_ += got;
    return got;
  }
  void Rewind() override { offset_ = 0; }
  FileStatus Status() override {
    FileStatus status;
    status.size = bytes_.size();
    return status;
  }
  FileStatus CurrentStatus() override { return Status(); }
  const fs::path& path() const override { return path_; }

 private:
  std::string bytes_;
  std::size_t offset_ = 0;
  fs::path path_;
};

class StringOutputFile final : public OutputFile {
 public:
  void Write(const char* data, std::size_t size) override { bytes.append(data, size); }
  void ShareLike(InputFile&) override {}
  void Close() override { closed = true; }
  const std::string& name() const override { return name_; }
  const fs::path& path() const override { return path_; }

  std::string bytes;
  bool closed = false;

 private:
  std::string name_ = "memory";
  fs::path path_ = "memory";
};

}  // namespace velmoth::testing
