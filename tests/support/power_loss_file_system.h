// A file system held in memory that keeps, beside what the program sees, what a
// power loss would leave of it, so that a test can cut the power after any
// operation and look at every disk the cut may leave.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "files/file_system.h"

namespace velmoth::testing {

namespace fs = std::filesystem;

// The regular files on a disk: each one's path, lexically normal, and its bytes.
using Disk = std::map<fs::path, std::string>;

// What may reach the disk, the worst a disk may do short of tearing flushed data:
// - A file's bytes and its names are apart. The bytes are durable once FlushFiles
//   named the file (under any of its names); a power loss leaves a file with the
//   bytes of its last flush, none if it was never flushed: an unflushed new file
//   survives empty, or not at all if its name is lost.
// - A name is a path in one of the directories. It is given a file by
//   CreateTemporary and by a Rename to it, and loses it by a Rename from it, a
//   DeleteOpened or a Discard. What a name holds is durable once FlushNames named
//   its directory.
// - A rename changes two names, each in its own directory: across directories
//   each change is durable only once its own directory is flushed.
// - A power loss leaves each name with its durable value or with any value it was
//   given since, each name on its own, whatever the others hold: changes not yet
//   durable reach the disk in any order, so a rename not yet durable may leave
//   its file under the old name, the new one, both or neither.
// - The directories are the ones given at the start, and stay; a directory's
//   parent is one of them or none.
// - Files carry no dates: each one's is the epoch.
// Every call that succeeds is one operation, reads included; the state after each
// is kept, so that one run gives every cut.
class PowerLossFileSystem final : public FileSystem {
 public:
  // Holds the directories `dirs`, empty.
  explicit PowerLossFileSystem(const std::vector<fs::path>& dirs);

  // Puts a durable file at `path` before the first operation, as if it had been
  // written and flushed long ago.
  void Seed(const fs::path& path, const std::string& bytes);

  // Asked at each flush, of the directory's names (`names`) or of files in it;
  // a flush it picks is left out, as a faulty requeue would leave it out.
  std::function<bool(const fs::path& dir, bool names)> skipFlush;

  // The operations so far; the power may be cut after 0 up to this many.
  std::size_t operations() const { return history_.size() - 1; }

  // Every disk a power loss after `cut` operations may leave, as far as `paths`
  // go: each of those names with each value it may hold (every combination),
  // every other name with its durable value. As names fare independently, the
  // disks for the paths a check reads are all the disks that check can tell apart.
  std::vector<Disk> DisksAfterPowerLoss(std::size_t cut, const std::vector<fs::path>& paths) const;

  std::unique_ptr<Directory> OpenDirectory(const fs::path& dir) override;
  std::unique_ptr<InputFile> OpenForReading(const fs::path& path) override;
  DeleteOutcome DeleteOpened(const std::vector<OpenedFile>& files,
                             const std::function<bool()>& unchanged) override;
  DirectoryAccess AccessTo(const fs::path&) override { return {}; }

 private:
  friend class MemoryDirectory;
  friend class MemoryInputFile;
  friend class MemoryOutputFile;

  using FileId = std::optional<std::size_t>;  // nothing: the name holds no file
  struct File {
    std::string bytes;
    std::string durable;
  };
  struct Name {
    FileId durable;
    std::vector<FileId> since;  // the values given since its last flush
    FileId now() const { return since.empty() ? durable : since.back(); }
  };
  // Each directory's names, by file name.
  using Names = std::map<fs::path, Name>;
  struct State {
    std::vector<File> files;
    std::map<fs::path, Names> dirs;
  };

  // The names in the directory `dir`; throws "not found" for any other directory.
  Names& NamesIn(const fs::path& dir);
  // The file `path` names now, if it names one in one of the directories.
  FileId Find(const fs::path& path) const;
  // The same, throwing "not found" when it names none.
  std::size_t FileAt(const fs::path& path) const;
  void Give(const fs::path& path, FileId file);
  // Ends an operation: keeps the state after it.
  void Done();

  State state_;
  std::vector<State> history_;
};

}  // namespace velmoth::testing
