// The power-loss file system: names and bytes as the program sees them and as
// they are durable, a state kept after every operation, and the disks a power
// loss after any of them may leave.
#include "support/power_loss_file_system.h"

#include <algorithm>
#include <cstring>

namespace velmoth::testing {
namespace {

namespace fs = std::filesystem;

fs::path Normal(const fs::path& path) { return path.lexically_normal(); }

// A file's identity is its number: in memory no file is changed in place.
FileIdentity IdentityOf(std::size_t file) { return {0, file + 1}; }

[[noreturn]] void ThrowNotFound(const fs::path& path) {
  throw FileError(ErrorKind::kNotFound, kErrorNotFound, "No such file in memory", PathText(path));
}

FileStatus StatusOf(std::size_t file, std::size_t size) {
  FileStatus status;
  status.size = size;
  status.identity = IdentityOf(file);
  return status;
}

}  // namespace

class MemoryInputFile final : public InputFile {
 public:
  MemoryInputFile(PowerLossFileSystem& files, std::size_t file, std::string bytes, fs::path path)
      : files_(files), file_(file), bytes_(std::move(bytes)), path_(std::move(path)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t got = std::min(size, bytes_.size() - offset_);
    std::memcpy(buffer, bytes_.data() + offset_, got);
    offset_ += got;
    files_.Done();
    return got;
  }
  void Rewind() override { offset_ = 0; }
  FileStatus Status() override {
    files_.Done();
    return StatusOf(file_, bytes_.size());
  }
  FileStatus CurrentStatus() override { return Status(); }
  const fs::path& path() const override { return path_; }
  std::size_t file() const { return file_; }

 private:
  PowerLossFileSystem& files_;
  std::size_t file_;
  std::string bytes_;
  std::size_t offset_ = 0;
  fs::path path_;
};

class MemoryOutputFile final : public OutputFile {
 public:
  MemoryOutputFile(PowerLossFileSystem& files, std::size_t file, std::string name, fs::path path)
      : files_(files), file_(file), name_(std::move(name)), path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override {
    files_.state_.files[file_].bytes.append(data, size);
    files_.Done();
  }
  void ShareLike(InputFile&) override {}
  void Close() override { files_.Done(); }
  const std::string& name() const override { return name_; }
  const fs::path& path() const override { return path_; }

 private:
  PowerLossFileSystem& files_;
  std::size_t file_;
  std::string name_;
  fs::path path_;
};

class MemoryDirectory final : public Directory {
 public:
  MemoryDirectory(PowerLossFileSystem& files, fs::path path) : files_(files), path_(Normal(path)) {}

  std::vector<DirectoryEntry> Entries() override {
    std::vector<DirectoryEntry> entries;
    for (const auto& [name, value] : files_.NamesIn(path_)) {
      if (value.now()) entries.push_back({PathText(name), FileKind::kRegular, std::nullopt});
    }
    files_.Done();
    return entries;
  }
  std::unique_ptr<Directory> OpenDirectory(const std::string& name) override {
    return files_.OpenDirectory(PathOf(name));
  }
  std::unique_ptr<Directory> OpenParent() override {
    if (!files_.state_.dirs.contains(path_.parent_path())) return nullptr;
    return files_.OpenDirectory(path_.parent_path());
  }
  std::unique_ptr<InputFile> Open(const std::string& name, Access) override {
    return files_.OpenForReading(PathOf(name));
  }
  std::optional<FileStatus> Status(const std::string& name) override {
    const auto file = files_.Find(PathOf(name));
    std::optional<FileStatus> status;
    if (file) status = StatusOf(*file, files_.state_.files[*file].bytes.size());
    files_.Done();
    return status;
  }
  std::unique_ptr<OutputFile> CreateTemporary() override {
    const PowerLossFileSystem::Names& names = files_.NamesIn(path_);
    std::string name = NewTemporaryName();
    while (names.contains(name)) name = NewTemporaryName();
    files_.state_.files.emplace_back();
    const std::size_t file = files_.state_.files.size() - 1;
    files_.Give(PathOf(name), file);
    files_.Done();
    return std::make_unique<MemoryOutputFile>(files_, file, name, PathOf(name));
  }
  void Rename(const std::string& from, Directory& target, const std::string& to,
              ExistingName existing) override {
    const std::size_t file = files_.FileAt(PathOf(from));
    const fs::path into = dynamic_cast<MemoryDirectory&>(target).PathOf(to);
    if (existing == ExistingName::kKeep && files_.Find(into)) {
      throw FileError(ErrorKind::kExists, 17, "File exists in memory", PathText(into));
    }
    files_.Give(PathOf(from), std::nullopt);
    files_.Give(into, file);
    files_.Done();
  }
  void Discard(const std::string& name) noexcept override {
    if (files_.Find(PathOf(name))) files_.Give(PathOf(name), std::nullopt);
    files_.Done();
  }
  void FlushFiles(const std::vector<std::string>& names) override {
    if (files_.skipFlush && files_.skipFlush(path_, false)) return;
    for (const std::string& name : names) {
      PowerLossFileSystem::File& file = files_.state_.files[files_.FileAt(PathOf(name))];
      file.durable = file.bytes;
    }
    files_.Done();
  }
  void FlushNames() override {
    if (files_.skipFlush && files_.skipFlush(path_, true)) return;
    for (auto& [name, value] : files_.NamesIn(path_)) value = {value.now(), {}};
    files_.Done();
  }
  FileIdentity Identity() override { return {1, std::hash<std::string>()(path_.generic_string())}; }
  const fs::path& path() const override { return path_; }

  fs::path PathOf(const std::string& name) const { return path_ / PathFromText(name); }

 private:
  PowerLossFileSystem& files_;
  fs::path path_;
};

PowerLossFileSystem::PowerLossFileSystem(const std::vector<fs::path>& dirs) {
  for (const fs::path& dir : dirs) state_.dirs[Normal(dir)];
  history_.push_back(state_);
}

void PowerLossFileSystem::Seed(const fs::path& path, const std::string& bytes) {
  state_.files.push_back({bytes, bytes});
  NamesIn(path.parent_path())[path.filename()].durable = state_.files.size() - 1;
  history_.assign(1, state_);
}

std::vector<Disk> PowerLossFileSystem::DisksAfterPowerLoss(
    std::size_t cut, const std::vector<fs::path>& paths) const {
  const State& state = history_.at(cut);
  const auto bytes = [&state](std::size_t file) { return state.files[file].durable; };
  Disk durable;
  for (const auto& [dir, names] : state.dirs) {
    for (const auto& [name, value] : names) {
      if (value.durable) durable[dir / name] = bytes(*value.durable);
    }
  }
  std::vector<Disk> disks{durable};
  for (const fs::path& path : paths) {
    const Names& names = state.dirs.at(Normal(path).parent_path());
    const auto found = names.find(path.filename());
    if (found == names.end()) continue;
    std::vector<FileId> values{found->second.durable};
    values.insert(values.end(), found->second.since.begin(), found->second.since.end());
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    std::vector<Disk> more;
    for (const Disk& disk : disks) {
      for (const FileId& value : values) {
        Disk& next = more.emplace_back(disk);
        next.erase(Normal(path));
        if (value) next[Normal(path)] = bytes(*value);
      }
    }
    disks = std::move(more);
  }
  return disks;
}

std::unique_ptr<Directory> PowerLossFileSystem::OpenDirectory(const fs::path& dir) {
  if (!state_.dirs.contains(Normal(dir))) ThrowNotFound(dir);
  Done();
  return std::make_unique<MemoryDirectory>(*this, dir);
}

std::unique_ptr<InputFile> PowerLossFileSystem::OpenForReading(const fs::path& path) {
  const std::size_t file = FileAt(path);
  Done();
  return std::make_unique<MemoryInputFile>(*this, file, state_.files[file].bytes, path);
}

DeleteOutcome PowerLossFileSystem::DeleteOpened(const std::vector<OpenedFile>& files,
                                                const std::function<bool()>& unchanged) {
  std::vector<fs::path> present;
  for (const OpenedFile& opened : files) {
    const fs::path path = dynamic_cast<MemoryDirectory&>(opened.directory).PathOf(opened.name);
    const FileId now = Find(path);
    if (!now) continue;
    if (*now != dynamic_cast<MemoryInputFile&>(opened.file).file()) return DeleteOutcome::kChanged;
    present.push_back(path);
  }
  if (present.empty()) return DeleteOutcome::kGone;
  if (unchanged && !unchanged()) return DeleteOutcome::kChanged;
  for (const fs::path& path : present) Give(path, std::nullopt);
  Done();
  return DeleteOutcome::kDeleted;
}

PowerLossFileSystem::Names& PowerLossFileSystem::NamesIn(const fs::path& dir) {
  const auto found = state_.dirs.find(Normal(dir));
  if (found == state_.dirs.end()) ThrowNotFound(dir);
  return found->second;
}

PowerLossFileSystem::FileId PowerLossFileSystem::Find(const fs::path& path) const {
  const auto dir = state_.dirs.find(Normal(path).parent_path());
  if (dir == state_.dirs.end()) return std::nullopt;
  const auto name = dir->second.find(path.filename());
  return name == dir->second.end() ? std::nullopt : name->second.now();
}

std::size_t PowerLossFileSystem::FileAt(const fs::path& path) const {
  const FileId file = Find(path);
  if (!file) ThrowNotFound(path);
  return *file;
}

void PowerLossFileSystem::Give(const fs::path& path, FileId file) {
  NamesIn(path.parent_path())[path.filename()].since.push_back(file);
}

void PowerLossFileSystem::Done() { history_.push_back(state_); }

}  // namespace velmoth::testing
