// The power-loss file system: names and bytes as the program sees them and as
// they are durable, a state kept after every operation, and the disks a power
// loss after any of them may leave.
#include "support/power_loss_file_system.h"

#include <algorithm>
#include <cstring>

namespace velmoth::testing {
namespace {

fs::path Normal(const fs::path& path) { return path.lexically_normal(); }

// A file's identity is its number: in memory no file is changed in place.
FileIdentity IdentityOf(std::size_t file) { return {0, file + 1, 0}; }

[[noreturn]] void ThrowNotFound(const fs::path& path) {
  throw FileError(kErrorNotFound, "No such file in memory", PathText(path));
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
  FileStatus Status() override {
    files_.Done();
    return {FileKind::kRegular, bytes_.size(), FileDate{}, IdentityOf(file_)};
  }
  const fs::path& path() const override { return path_; }

 private:
  PowerLossFileSystem& files_;
  std::size_t file_;
  std::string bytes_;
  std::size_t offset_ = 0;
  fs::path path_;
};

class MemoryOutputFile final : public OutputFile {
 public:
  MemoryOutputFile(PowerLossFileSystem& files, std::size_t file, fs::path path)
      : files_(files), file_(file), path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override {
    files_.state_.files[file_].bytes.append(data, size);
    files_.Done();
  }
  void Close() override { files_.Done(); }
  const fs::path& path() const override { return path_; }

 private:
  PowerLossFileSystem& files_;
  std::size_t file_;
  fs::path path_;
};

class MemoryDirectory final : public Directory {
 public:
  MemoryDirectory(PowerLossFileSystem& files, fs::path path)
      : files_(files), path_(std::move(path)) {}

  std::vector<DirectoryEntry> Entries() override {
    std::vector<DirectoryEntry> entries;
    for (const auto& [name, value] : files_.NamesIn(path_)) {
      if (value.now()) entries.push_back({PathText(name), FileKind::kRegular, std::nullopt});
    }
    files_.Done();
    return entries;
  }
  std::unique_ptr<InputFile> Open(const std::string& name) override {
    return files_.OpenForReading(path_ / PathFromText(name));
  }
  std::optional<FileStatus> Status(const std::string& name) override {
    const auto file = files_.Find(path_ / PathFromText(name));
    std::optional<FileStatus> status;
    if (file) status = FileStatus{FileKind::kRegular, files_.state_.files[*file].bytes.size(), {}};
    files_.Done();
    return status;
  }
  const fs::path& path() const override { return path_; }

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

std::unique_ptr<OutputFile> PowerLossFileSystem::CreateTemporary(const fs::path& dir) {
  const Names& names = NamesIn(dir);
  fs::path name = NewTemporaryName();
  while (names.contains(name)) name = NewTemporaryName();
  const fs::path path = dir / name;
  state_.files.emplace_back();
  Give(path, state_.files.size() - 1);
  Done();
  return std::make_unique<MemoryOutputFile>(*this, state_.files.size() - 1, path);
}

void PowerLossFileSystem::Flush(const std::vector<fs::path>& files,
                                const std::vector<fs::path>& dirs) {
  for (const fs::path& path : files) {
    File& file = state_.files[FileAt(path)];
    file.durable = file.bytes;
  }
  for (const fs::path& dir : dirs) {
    for (auto& [name, value] : NamesIn(dir)) value = {value.now(), {}};
  }
  Done();
}

void PowerLossFileSystem::Rename(const fs::path& from, const fs::path& to) {
  const std::size_t file = FileAt(from);
  NamesIn(to.parent_path());
  Give(from, std::nullopt);
  Give(to, file);
  Done();
}

std::optional<FileIdentity> PowerLossFileSystem::Identity(const fs::path& path) {
  const auto file = Find(path);
  Done();
  return file ? std::optional(IdentityOf(*file)) : std::nullopt;
}

void PowerLossFileSystem::Delete(const fs::path& path) {
  FileAt(path);
  Give(path, std::nullopt);
  Done();
}

void PowerLossFileSystem::Discard(const fs::path& path) noexcept {
  if (Find(path)) Give(path, std::nullopt);
  Done();
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
