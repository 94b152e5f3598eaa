// The one error every file, directory and registry operation reports: what went
// wrong as a kind that is the same on every platform, which callers decide by,
// and, for the operator, the platform's error number (errno on POSIX,
// GetLastError on Windows), its description and the path it is about.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace velmoth {

// What went wrong, decided where the system call failed; callers test this and
// never the number.
enum class ErrorKind {
  kNotFound,      // the file, or a directory on its way, is not there
  kExists,        // a file of that name is there already
  kLink,          // a link where links are not followed
  kNotRegular,    // a FIFO, socket, device or directory where a file was to be
  kAccessDenied,  // the process may not
  kReadOnly,      // the file is read-only, and nothing forces it
  kNoSpace,       // the disk is full, or a size limit was reached
  kBusy,          // another process holds the file (a sharing violation)
  kOther,
};

class FileError : public std::runtime_error {
 public:
  FileError(ErrorKind kind, int number, std::string description, std::string path);

  ErrorKind kind() const { return kind_; }
  int number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& path() const { return path_; }

 private:
  ErrorKind kind_;
  int number_;
  std::string description_;
  std::string path_;
};

// Error numbers the core reports of its own accord, in the platform's numbering.
#ifdef _WIN32
inline constexpr int kErrorNotFound = 2;            // ERROR_FILE_NOT_FOUND
inline constexpr int kErrorAccessDenied = 5;        // ERROR_ACCESS_DENIED
inline constexpr int kErrorInvalidArgument = 87;    // ERROR_INVALID_PARAMETER
inline constexpr int kErrorInvalidName = 123;       // ERROR_INVALID_NAME
inline constexpr int kErrorNotRegularFile = 222;    // ERROR_BAD_FILE_TYPE
inline constexpr int kErrorIsLink = 681;            // ERROR_STOPPED_ON_SYMLINK
inline constexpr int kErrorUnsupportedType = 1630;  // ERROR_UNSUPPORTED_TYPE
inline constexpr int kErrorIncomplete = 38;         // ERROR_HANDLE_EOF
#else
inline constexpr int kErrorNotFound = 2;          // ENOENT
inline constexpr int kErrorAccessDenied = 13;     // EACCES
inline constexpr int kErrorInvalidArgument = 22;  // EINVAL
inline constexpr int kErrorInvalidName = 22;      // EINVAL
inline constexpr int kErrorNotRegularFile = 22;   // EINVAL
inline constexpr int kErrorIsLink = 40;           // ELOOP
inline constexpr int kErrorUnsupportedType = 22;  // EINVAL
inline constexpr int kErrorIncomplete = 5;        // EIO
#endif

// The platform's text for an error number.
std::string ErrorDescription(int number);

// The kind of a platform error number, for the call that just failed with it.
ErrorKind KindOfNumber(int number);

inline bool IsFileNotFound(const FileError& error) { return error.kind() == ErrorKind::kNotFound; }

// Throws `number`, of the kind KindOfNumber gives, with the platform's
// description, about `path`.
[[noreturn]] void ThrowError(int number, const std::filesystem::path& path);
// Throws the last platform error (errno or GetLastError) about `path`.
[[noreturn]] void ThrowLastError(const std::filesystem::path& path);

}  // namespace velmoth
