// The system calls the file layer makes, reached through one table, so that a
// test can make any of them fail, or read less than asked, at any step, by
// putting its own function in the table and the platform's back afterwards.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace velmoth {

#ifdef _WIN32
struct SystemCalls {
  HANDLE(WINAPI* CreateFileW)
  (LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
   DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* ReadFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED);
  BOOL(WINAPI* WriteFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD put, LPOVERLAPPED);
  BOOL(WINAPI* FlushFileBuffers)(HANDLE file);
  BOOL(WINAPI* SetFileInformationByHandle)
  (HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size);
  BOOL(WINAPI* GetFileInformationByHandleEx)
  (HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size);
  BOOL(WINAPI* GetFileInformationByHandle)(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
  BOOL(WINAPI* CloseHandle)(HANDLE handle);
};
#else
struct SystemCalls {
  int (*openat)(int dir, const char* name, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*write)(int fd, const void* data, size_t size);
  off_t (*lseek)(int fd, off_t offset, int whence);
  ssize_t (*copy_file_range)(int in, off_t* inOffset, int out, off_t* outOffset, size_t size,
                             unsigned flags);
  int (*fstat)(int fd, struct stat* status);
  int (*fstatat)(int dir, const char* name, struct stat* status, int flags);
  int (*faccessat)(int dir, const char* name, int mode, int flags);
  int (*fchmod)(int fd, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*fsync)(int fd);
  int (*syncfs)(int fd);
  int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
  int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
  int (*unlinkat)(int dir, const char* name, int flags);
  DIR* (*fdopendir)(int fd);
  struct dirent* (*readdir)(DIR* stream);
  int (*closedir)(DIR* stream);
};
#endif

// The table the file layer calls through.
SystemCalls& Calls();
// The platform's own functions.
const SystemCalls& PlatformCalls();

}  // namespace velmoth
