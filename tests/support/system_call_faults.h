// Faults made at the file layer's system calls, through its table of them: for as
// long as a SystemCallFaults lives, each call is counted by its kind, the Nth call
// of a chosen kind fails or reads short, and a hook may act before any call, as a
// busy mail server acting between two steps of the program.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

namespace velmoth::testing {

enum class CallKind {
  kOpen,             // a file or directory opened
  kRead,             // bytes read, fails as an I/O error
  kShortRead,        // bytes read: fewer than asked for, which is no failure
  kWrite,            // bytes written or copied, fails as a full disk
  kCopy,             // bytes copied in the kernel, which a file system may not offer
  kFlushFile,        // a file's bytes flushed
  kFlushDirectory,   // a directory's names flushed
  kFlushFileSystem,  // a whole file system flushed
  kRename,
  kDelete,
};

const char* CallKindName(CallKind kind);

class SystemCallFaults {
 public:
  SystemCallFaults();
  // Puts the platform's calls back.
  ~SystemCallFaults();
  SystemCallFaults(const SystemCallFaults&) = delete;
  SystemCallFaults& operator=(const SystemCallFaults&) = delete;

  // The `nth` call of `kind` from now on (counted from 1) goes wrong; 0 for none.
  void Break(CallKind kind, std::size_t nth);
  // Whether the call chosen went wrong, and the name it was given, if any.
  bool broke() const { return broke_; }
  const std::string& brokenName() const { return brokenName_; }
  // How many calls of `kind` were made.
  std::size_t count(CallKind kind) const;

  // Called once before every call with its kind and how many of that kind came
  // before it. A read counts as kRead and kShortRead alike, a copy in the kernel
  // as kWrite and kCopy, each under the first.
  std::function<void(CallKind kind, std::size_t before)> before;

  // The instance in charge while one lives.
  static SystemCallFaults* current;

  // The next call of `kind`, with the name it is given: whether it is the one to
  // go wrong.
  bool Next(CallKind kind, const char* name = nullptr);

 private:
  std::map<CallKind, std::size_t> counts_;
  CallKind kind_ = CallKind::kOpen;
  std::size_t nth_ = 0;
  bool broke_ = false;
  std::string brokenName_;
};

}  // namespace velmoth::testing
