// An owned system object that is freed however its scope ends: a descriptor, a
// handle, a find handle, a registry key. `Traits` gives the value that owns
// nothing and frees an owned one:
//   struct Traits { static T Invalid(); static void Free(T value); };
#pragma once

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

}  // namespace velmoth
