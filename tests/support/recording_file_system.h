// The real file system with every step written down as "step relative/path", and
// a failure injected wherever a test wants one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/file_system.h"

namespace velmoth::testing {

class RecordingFileSystem : public NativeFileSystem {
 public:
  // Paths are written relative to `root`; temporary names as "temporary".
  explicit RecordingFileSystem(fs::path root) : root_(std::move(root)) {}

  // Asked before each step with the step's name and path; an error it returns is
  // thrown instead of taking the step. Steps: opendir, open (a file of an opened
  // directory), read, create, flush, flushdir, rename (the path is the target),
  // delete, discard.
  std::function<std::optional<FileError>(const std::string& step, const fs::path& path)> fault;
  std::vector<std::string> steps;

  std::unique_ptr<Directory> OpenDirectory(const fs::path& dir) override;
  std::unique_ptr<InputFile> OpenForReading(const fs::path& path) override;
  std::unique_ptr<OutputFile> CreateTemporary(const fs::path& dir) override;
  void Flush(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs) override;
  void Rename(const fs::path& from, const fs::path& to) override;
  void Delete(const fs::path& path) override;
  void Discard(const fs::path& path) noexcept override;

  // Writes the step down, then throws the fault's error if there is one.
  void Step(const std::string& step, const fs::path& path);

 private:
  fs::path root_;
};

}  // namespace velmoth::testing
