// The Windows calls as the file layer's table holds them. ntdll's import library
// declares no NtQueryDirectoryFile; its signature is the documented one.
#include <windows.h>
#include <winternl.h>

#include "files/system_calls.h"

extern "C" NTSYSAPI NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE dir, HANDLE event,
                                                        PIO_APC_ROUTINE apc, PVOID apcContext,
                                                        PIO_STATUS_BLOCK io, PVOID entries,
                                                        ULONG size, FILE_INFORMATION_CLASS kind,
                                                        BOOLEAN singleEntry, PUNICODE_STRING mask,
                                                        BOOLEAN restart);

namespace velmoth {
namespace {

const SystemCalls kPlatform{
    ::CreateFileW,
    ::GetFileAttributesExW,
    ::NtCreateFile,
    ::NtQueryInformationFile,
    ::NtSetInformationFile,
    ::NtQueryVolumeInformationFile,
    ::NtQueryDirectoryFile,
    ::ReadFile,
    ::WriteFile,
    ::SetFilePointerEx,
    ::FlushFileBuffers,
    ::GetFileType,
    ::GetKernelObjectSecurity,
    ::SetKernelObjectSecurity,
    ::CloseHandle,
};

}  // namespace

SystemCalls& Calls() {
  static SystemCalls calls = kPlatform;
  return calls;
}

const SystemCalls& PlatformCalls() { return kPlatform; }

}  // namespace velmoth
