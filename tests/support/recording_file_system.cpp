// The recording file system: each step is logged and may be failed before it is
// handed to the real one.
#include "support/recording_file_system.h"

namespace velmoth::testing {
namespace {

namespace fs = std::filesystem;

class RecordingDirectory final : public Directory {
 public:
  RecordingDirectory(std::unique_ptr<Directory> real, RecordingFileSystem& files)
      : real_(std::move(real)), files_(files) {}

  Directory& real() { return *real_; }

  std::vector<DirectoryEntry> Entries() override { return real_->Entries(); }
  std::unique_ptr<Directory> OpenDirectory(const std::string& name) override {
    files_.Step("subdir", PathOf(name));
    return std::make_unique<RecordingDirectory>(real_->OpenDirectory(name), files_);
  }
  std::unique_ptr<Directory> OpenParent() override { return real_->OpenParent(); }
  std::unique_ptr<InputFile> Open(const std::string& name, Access access) override {
    files_.Step("open", PathOf(name));
    return real_->Open(name, access);
  }
  std::optional<FileStatus> Status(const std::string& name) override { return real_->Status(name); }
  std::unique_ptr<OutputFile> CreateTemporary() override {
    files_.Step("create", PathOf(NewTemporaryName()));
    return real_->CreateTemporary();
  }
  void Rename(const std::string& from, Directory& target, const std::string& to,
              ExistingName existing) override {
    auto& into = dynamic_cast<RecordingDirectory&>(target);
    files_.Step("rename", into.PathOf(to));
    real_->Rename(from, into.real(), to, existing);
  }
  void Discard(const std::string& name) noexcept override {
    files_.Note("discard", PathOf(name));
    real_->Discard(name);
  }
  void FlushFiles(const std::vector<std::string>& names) override {
    for (const std::string& name : names) files_.Step("flush", PathOf(name));
    real_->FlushFiles(names);
  }
  void FlushNames() override {
    files_.Step("flushdir", real_->path());
    real_->FlushNames();
  }
  FileIdentity Identity() override { return real_->Identity(); }
  const fs::path& path() const override { return real_->path(); }

  fs::path PathOf(const std::string& name) const { return real_->path() / PathFromText(name); }

 private:
  std::unique_ptr<Directory> real_;
  RecordingFileSystem& files_;
};

}  // namespace

std::string RecordingFileSystem::Relative(const fs::path& path) const {
  if (IsTemporaryName(PathText(path.filename()))) return "temporary";
  return path.lexically_relative(root_).generic_string();
}

void RecordingFileSystem::Step(const std::string& step, const fs::path& path) {
  Note(step, path);
  if (!fault) return;
  if (auto error = fault(step, path)) throw *error;
}

void RecordingFileSystem::Note(const std::string& step, const fs::path& path) {
  steps.push_back(step + " " + Relative(path));
}

std::unique_ptr<Directory> RecordingFileSystem::OpenDirectory(const fs::path& dir) {
  Step("opendir", dir);
  return std::make_unique<RecordingDirectory>(NativeFileSystem::OpenDirectory(dir), *this);
}

DeleteOutcome RecordingFileSystem::DeleteOpened(const std::vector<OpenedFile>& files,
                                                const std::function<bool()>& unchanged) {
  std::vector<OpenedFile> real;
  for (const OpenedFile& opened : files) {
    auto& directory = dynamic_cast<RecordingDirectory&>(opened.directory);
    Step("delete", directory.PathOf(opened.name));
    real.push_back({directory.real(), opened.name, opened.file});
  }
  return NativeFileSystem::DeleteOpened(real, unchanged);
}

}  // namespace velmoth::testing
