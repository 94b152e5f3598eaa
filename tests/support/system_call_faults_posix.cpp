// The faulty table of POSIX calls: each entry counts its call, runs the hook,
// and either fails with the error that kind of failure has on a real system, or
// calls the platform's own function.
#include <errno.h>
#include <sys/stat.h>

#include "files/system_calls.h"
#include "support/system_call_faults.h"

namespace velmoth::testing {
namespace {

const SystemCalls& Platform() { return PlatformCalls(); }

bool Next(CallKind kind, const char* name = nullptr) {
  return SystemCallFaults::current->Next(kind, name);
}

int Fail(int number) {
  errno = number;
  return -1;
}

int OpenAt(int dir, const char* name, int flags, mode_t mode) {
  return Next(CallKind::kOpen, name) ? Fail(EACCES) : Platform().openat(dir, name, flags, mode);
}

ssize_t Read(int fd, void* buffer, size_t size) {
  const bool fail = Next(CallKind::kRead);
  const bool shorten = Next(CallKind::kShortRead);
  if (fail) return Fail(EIO);
  return Platform().read(fd, buffer, shorten && size > 1 ? size / 2 : size);
}

ssize_t Write(int fd, const void* data, size_t size) {
  return Next(CallKind::kWrite) ? Fail(ENOSPC) : Platform().write(fd, data, size);
}

ssize_t CopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t size,
                      unsigned flags) {
  const bool full = Next(CallKind::kWrite);
  const bool unsupported = Next(CallKind::kCopy);
  if (full) return Fail(ENOSPC);
  if (unsupported) return Fail(EXDEV);
  return Platform().copy_file_range(in, inOffset, out, outOffset, size, flags);
}

int Fsync(int fd) {
  struct stat st {};
  const bool directory = Platform().fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  return Next(directory ? CallKind::kFlushDirectory : CallKind::kFlushFile) ? Fail(EIO)
                                                                            : Platform().fsync(fd);
}

int SyncFs(int fd) { return Next(CallKind::kFlushFileSystem) ? Fail(EIO) : Platform().syncfs(fd); }

int RenameAt2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  return Next(CallKind::kRename, from) ? Fail(EIO)
                                       : Platform().renameat2(fromDir, from, toDir, to, flags);
}

int UnlinkAt(int dir, const char* name, int flags) {
  return Next(CallKind::kDelete, name) ? Fail(EIO) : Platform().unlinkat(dir, name, flags);
}

}  // namespace

SystemCallFaults* SystemCallFaults::current = nullptr;

SystemCallFaults::SystemCallFaults() {
  current = this;
  SystemCalls& calls = Calls();
  calls.openat = OpenAt;
  calls.read = Read;
  calls.write = Write;
  calls.copy_file_range = CopyFileRange;
  calls.fsync = Fsync;
  calls.syncfs = SyncFs;
  calls.renameat2 = RenameAt2;
  calls.unlinkat = UnlinkAt;
}

SystemCallFaults::~SystemCallFaults() {
  Calls() = PlatformCalls();
  current = nullptr;
}

}  // namespace velmoth::testing
