// Relaxed<T>: a copyable atomic scalar for settings switches.
//
// Worker threads read single boolean and integer settings without a lock while the main thread
// may change them. Holding those fields in relaxed atomics keeps that free of data races (and a
// ThreadSanitizer run clean) at no cost on x86-64, while the record stays an ordinary copyable value.
#pragma once

#include <atomic>

namespace tolvane {

template <typename T>
class Relaxed {
 public:
  constexpr Relaxed(T v = T()) noexcept : value_(v) {}
  Relaxed(const Relaxed& other) noexcept : value_(other.load()) {}
  Relaxed& operator=(const Relaxed& other) noexcept {
    store(other.load());
    return *this;
  }
  Relaxed& operator=(T v) noexcept {
    store(v);
    return *this;
  }
  operator T() const noexcept { return load(); }
  T load() const noexcept { return value_.load(std::memory_order_relaxed); }
  void store(T v) noexcept { value_.store(v, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
};

}  // namespace tolvane
