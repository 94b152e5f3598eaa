// The real file system with every step written down as "step relative/path", and
// a failure injected wherever a test wants one.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/file_system.h"

namespace velmoth::testing {

namespace fs = std::filesystem;

class RecordingFileSystem : public NativeFileSystem {
 public:
  // Paths are written relative to `root`; temporary names as "temporary".
  explicit RecordingFileSystem(fs::path root) : root_(std::move(root)) {}

  // Asked before each step with the step's name and path; an error it returns is
  // thrown instead of taking the step. Steps: opendir (a queue directory), subdir
  // (a directory opened in one), open (a file), create, flush (a file's bytes),
  // flushdir (a directory's names), rename (the path is the target), delete,
  // discard.
  std::function<std::optional<FileError>(const std::string& step, const fs::path& path)> fault;
  std::vector<std::string> steps;
  // What AccessTo says instead of the truth: a test runs as root, whom nothing
  // refuses.
  std::optional<DirectoryAccess> access;

  std::unique_ptr<Directory> OpenDirectory(const fs::path& dir) override;
  DeleteOutcome DeleteOpened(const std::vector<OpenedFile>& files,
                             const std::function<bool()>& unchanged) override;
  DirectoryAccess AccessTo(const fs::path& dir) override {
    return access ? *access : NativeFileSystem::AccessTo(dir);
  }

  // Writes the step down, then throws the fault's error if there is one.
  void Step(const std::string& step, const fs::path& path);
  // The same for a step that may not throw.
  void Note(const std::string& step, const fs::path& path);

 private:
  std::string Relative(const fs::path& path) const;

  fs::path root_;
};

}  // namespace velmoth::testing
