// An owned system object that is freed however its scope ends: a descriptor, a
// handle, a find handle, a registry key. `Traits` gives the value that owns
// nothing and frees an owned one:
//   struct Traits { static T Invalid(); static void Free(T value); };
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <utility>

namespace velmoth {

template <typename T, typename Traits>
class ScopedGeneric {
 public:
  ScopedGeneric() = default;
  explicit ScopedGeneric(T value) : value_(value) {}
  ~ScopedGeneric() { reset(); }
  ScopedGeneric(ScopedGeneric&& other) noexcept : value_(other.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;

  T get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  // Hands the value over: this owns nothing afterwards.
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    const T old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Free(old);
  }

 private:
  T value_ = Traits::Invalid();
};

#ifdef _WIN32
// A handle closed by CloseHandle.
struct HandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Free(HANDLE handle) { ::CloseHandle(handle); }
};
using ScopedHandle = ScopedGeneric<HANDLE, HandleTraits>;
#else
// A descriptor closed by close: a socket's, or inotify's. The file layer's own
// close through its table of system calls.
struct DescriptorTraits {
  static int Invalid() { return -1; }
  static void Free(int fd) { ::close(fd); }
};
using ScopedDescriptor = ScopedGeneric<int, DescriptorTraits>;
#endif

}  // namespace velmoth
