// The POSIX system calls as the file layer's table holds them.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/system_calls.h"

namespace velmoth {
namespace {

int OpenAt(int dir, const char* name, int flags, mode_t mode) {
  return ::openat(dir, name, flags, mode);
}

ssize_t CopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t size,
                      unsigned flags) {
  return ::copy_file_range(in, inOffset, out, outOffset, size, flags);
}

int RenameAt2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  return ::renameat2(fromDir, from, toDir, to, flags);
}

const SystemCalls kPlatform{
    OpenAt,    ::close,     ::read,      ::write,   ::lseek,    CopyFileRange, ::fstat,
    ::fstatat, ::faccessat, ::fchmod,    ::fchown,  ::fsync,    ::syncfs,      RenameAt2,
    ::linkat,  ::unlinkat,  ::fdopendir, ::readdir, ::closedir,
};

}  // namespace

SystemCalls& Calls() {
  static SystemCalls calls = kPlatform;
  return calls;
}

const SystemCalls& PlatformCalls() { return kPlatform; }

}  // namespace velmoth
