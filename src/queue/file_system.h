// The file operations the queue code is built on: enumerate a queue directory,
// read and write command files line by line, copy, flush, rename and delete.
// Every failure is a FileError that carries the error number, its text and the path.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file_error.h"
#include "base/file_time.h"
#include "base/path_text.h"

namespace velmoth {

namespace fs = std::filesystem;


// One regular file directly inside a directory.
struct DirectoryFile {
  fs::path path;
  std::string name;  // bytes on POSIX, UTF-8 on Windows
  FileDate modified;
};

// A file opened for reading whole blocks; closed when destroyed.
class InputFile {
 public:
  explicit InputFile(const fs::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads up to `size` bytes; 0 at the end of the file.
  std::size_t Read(char* buffer, std::size_t size);
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::intptr_t handle_;
};

// A file created or emptied for writing; closed when destroyed.
class OutputFile {
 public:
  explicit OutputFile(const fs::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(const char* data, std::size_t size);
  // Closes the file, reporting a failed close (a full disk can surface only here).
  void Close();
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::intptr_t handle_;
};

// Reads a text file line by line through a fixed buffer. A line ends at LF; a CR
// right before the LF belongs to the line end; a last line without a line end
// is a line. Every other byte, a lone CR among them, passes through unchanged.
class LineReader {
 public:
  explicit LineReader(const fs::path& path);

  // True once every line has been read (at once for an empty file).
  bool AtEnd();
  // The next line without its line end.
  std::string ReadLine();

 private:
  bool Fill();

  InputFile file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

// Writes a text file whose every line ends with CR LF, through a fixed buffer.
class LineWriter {
 public:
  explicit LineWriter(const fs::path& path);

  void WriteLine(std::string_view line);
  // Writes out the buffer and closes the file.
  void Close();

 private:
  void Drain();

  OutputFile file_;
  std::string buffer_;
};

// The operations the scan and the requeue perform on queue directories. The
// requeue goes through this interface so that its order of operations can be
// watched; NativeFileSystem is the real one.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Regular files directly inside `dir`, in the platform's order. Links, FIFOs,
  // sockets, devices and directories are left out; a missing directory fails.
  virtual std::vector<DirectoryFile> ListFiles(const fs::path& dir) = 0;
  // False for a missing file or directory; never fails.
  virtual bool Exists(const fs::path& path) = 0;
  virtual std::uint64_t Size(const fs::path& path) = 0;
  // Copies `from` over `to`.
  virtual void Copy(const fs::path& from, const fs::path& to) = 0;
  // Creates `path`, or empties it, for writing lines.
  virtual std::unique_ptr<LineWriter> Create(const fs::path& path) = 0;
  // Renames `from` over `to` in one step.
  virtual void Rename(const fs::path& from, const fs::path& to) = 0;
  // Forces the file's content to stable storage.
  virtual void SyncFile(const fs::path& path) = 0;
  // Forces the directory's entries (new and renamed names) to stable storage.
  virtual void SyncDirectory(const fs::path& dir) = 0;
  // Deletes a file; a read-only file is not deleted and fails.
  virtual void Delete(const fs::path& path) = 0;
  // Removes a file if it is there, reporting nothing (clean-up after a failure).
  virtual void Discard(const fs::path& path) noexcept = 0;
};

class NativeFileSystem : public FileSystem {
 public:
  std::vector<DirectoryFile> ListFiles(const fs::path& dir) override;
  bool Exists(const fs::path& path) override;
  std::uint64_t Size(const fs::path& path) override;
  void Copy(const fs::path& from, const fs::path& to) override;
  std::unique_ptr<LineWriter> Create(const fs::path& path) override;
  void Rename(const fs::path& from, const fs::path& to) override;
  void SyncFile(const fs::path& path) override;
  void SyncDirectory(const fs::path& dir) override;
  void Delete(const fs::path& path) override;
  void Discard(const fs::path& path) noexcept override;
};

}  // namespace velmoth
