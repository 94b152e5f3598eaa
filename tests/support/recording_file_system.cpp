// The recording file system: each step is logged and may be failed before it is
// handed to the real one.
#include "support/recording_file_system.h"

namespace velmoth::testing {
namespace {

class RecordingDirectory final : public Directory {
 public:
  RecordingDirectory(std::unique_ptr<Directory> real, RecordingFileSystem& files)
      : real_(std::move(real)), files_(files) {}

  std::vector<DirectoryEntry> Entries() override { return real_->Entries(); }
  std::unique_ptr<InputFile> Open(const std::string& name) override {
    files_.Step("open", real_->path() / PathFromText(name));
    return real_->Open(name);
  }
  std::optional<FileStatus> Status(const std::string& name) override { return real_->Status(name); }
  const fs::path& path() const override { return real_->path(); }

 private:
  std::unique_ptr<Directory> real_;
  RecordingFileSystem& files_;
};

}  // namespace

void RecordingFileSystem::Step(const std::string& step, const fs::path& path) {
  std::string relative = path.lexically_relative(root_).generic_string();
  if (IsTemporaryName(PathText(path.filename()))) relative = "temporary";
  steps.push_back(step + " " + relative);
  if (!fault) return;
  if (auto error = fault(step, path)) throw *error;
}

std::unique_ptr<Directory> RecordingFileSystem::OpenDirectory(const fs::path& dir) {
  Step("opendir", dir);
  return std::make_unique<RecordingDirectory>(NativeFileSystem::OpenDirectory(dir), *this);
}

std::unique_ptr<InputFile> RecordingFileSystem::OpenForReading(const fs::path& path) {
  Step("read", path);
  return NativeFileSystem::OpenForReading(path);
}

std::unique_ptr<OutputFile> RecordingFileSystem::CreateTemporary(const fs::path& dir) {
  Step("create", dir / NewTemporaryName());
  return NativeFileSystem::CreateTemporary(dir);
}

void RecordingFileSystem::Flush(const std::vector<fs::path>& files,
                                const std::vector<fs::path>& dirs) {
  for (const fs::path& file : files) Step("flush", file);
  for (const fs::path& dir : dirs) Step("flushdir", dir);
  NativeFileSystem::Flush(files, dirs);
}

void RecordingFileSystem::Rename(const fs::path& from, const fs::path& to) {
  Step("rename", to);
  NativeFileSystem::Rename(from, to);
}

void RecordingFileSystem::Delete(const fs::path& path) {
  Step("delete", path);
  NativeFileSystem::Delete(path);
}

void RecordingFileSystem::Discard(const fs::path& path) noexcept {
  steps.push_back("discard " + std::string(IsTemporaryName(PathText(path.filename()))
                                               ? "temporary"
                                               : path.lexically_relative(root_).generic_string()));
  NativeFileSystem::Discard(path);
}

}  // namespace velmoth::testing
