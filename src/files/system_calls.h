// The system calls the file layer makes, reached through one table, so that a
// test can make any of them fail, or read less than asked, at any step, by
// putting its own function in the table and the platform's back afterwards.
#pragma once

#ifdef _WIN32
#include <windows.h>

// After windows.h, which it needs.
#include <winternl.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace velmoth {

#ifdef _WIN32
// Queue directories are opened by path with CreateFileW; everything below them
// through the native calls, relative to a directory handle, but for the quick
// look at a name by its path that a scan takes.
struct SystemCalls {
  HANDLE(WINAPI* CreateFileW)
  (LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
   DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* GetFileAttributesExW)(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info);
  NTSTATUS(NTAPI* NtCreateFile)
  (PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES name, PIO_STATUS_BLOCK io,
   PLARGE_INTEGER allocation, ULONG attributes, ULONG share, ULONG disposition, ULONG options,
   PVOID extendedAttributes, ULONG extendedAttributesSize);
  NTSTATUS(NTAPI* NtQueryInformationFile)
  (HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size, FILE_INFORMATION_CLASS kind);
  NTSTATUS(NTAPI* NtSetInformationFile)
  (HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size, FILE_INFORMATION_CLASS kind);
  NTSTATUS(NTAPI* NtQueryVolumeInformationFile)
  (HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size, FS_INFORMATION_CLASS kind);
  NTSTATUS(NTAPI* NtQueryDirectoryFile)
  (HANDLE dir, HANDLE event, PIO_APC_ROUTINE apc, PVOID apcContext, PIO_STATUS_BLOCK io,
   PVOID entries, ULONG size, FILE_INFORMATION_CLASS kind, BOOLEAN singleEntry,
   PUNICODE_STRING mask, BOOLEAN restart);
  BOOL(WINAPI* ReadFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED);
  BOOL(WINAPI* WriteFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD put, LPOVERLAPPED);
  BOOL(WINAPI* SetFilePointerEx)
  (HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method);
  BOOL(WINAPI* FlushFileBuffers)(HANDLE file);
  DWORD(WINAPI* GetFileType)(HANDLE file);
  BOOL(WINAPI* GetKernelObjectSecurity)
  (HANDLE object, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR security, DWORD size,
   LPDWORD needed);
  BOOL(WINAPI* SetKernelObjectSecurity)
  (HANDLE object, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR security);
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
