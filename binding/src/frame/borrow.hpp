#pragma once

#include <atomic>
#include <cstdint>

#include "frame/errors.hpp"

namespace vexal::py {

// Per-instance access counter: 0 when free, n > 0 while n read-only calls
// run, kExclusive while one mutating call holds the object.
//
// Where calls can overlap (an interpreter without the global lock) every
// change is one atomic read-modify-write. Under the lock no two calls into
// the module run at once, so a check followed by a store cannot be
// interleaved; the counter is still read and written atomically, but
// without the locked instruction, which on its own cost about a sixth of a
// live update.
class BorrowFlag {
 public:
  static constexpr std::intptr_t kExclusive = -1;

  void acquire_shared() {
#ifdef Py_GIL_DISABLED
    std::intptr_t seen = state_.load(std::memory_order_relaxed);
    do {
      if (seen == kExclusive) throw BorrowConflict("Already mutably borrowed");
    } while (!state_.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire));
#else
    const std::intptr_t seen = state_.load(std::memory_order_relaxed);
    if (seen == kExclusive) throw BorrowConflict("Already mutably borrowed");
    state_.store(seen + 1, std::memory_order_relaxed);
#endif
  }
  void release_shared() {
#ifdef Py_GIL_DISABLED
    state_.fetch_sub(1, std::memory_order_release);
#else
    state_.store(state_.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
#endif
  }

  void acquire_exclusive() {
#ifdef Py_GIL_DISABLED
    std::intptr_t expected = 0;
    if (!state_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire)) {
      throw BorrowConflict("Already borrowed");
    }
#else
    if (state_.load(std::memory_order_relaxed) != 0) throw BorrowConflict("Already borrowed");
    state_.store(kExclusive, std::memory_order_relaxed);
#endif
  }
  void release_exclusive() { state_.store(0, std::memory_order_release); }

 private:
  std::atomic<std::intptr_t> state_{0};
};

// Scoped borrows: released when the call ends, on failure too.
class SharedBorrow {
 public:
  explicit SharedBorrow(BorrowFlag& flag) : flag_(flag) { flag_.acquire_shared(); }
  ~SharedBorrow() { flag_.release_shared(); }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag) { flag_.acquire_exclusive(); }
  ~ExclusiveBorrow() { flag_.release_exclusive(); }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

}  // namespace vexal::py
