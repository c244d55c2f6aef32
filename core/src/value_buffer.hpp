#pragma once

#include <algorithm>
#include <cstddef>
#include <expected>
#include <limits>
#include <new>
#include <span>
#include <utility>

#include "error.hpp"
#include "internal_failure.hpp"
#include "optional_value.hpp"
#include "state_limit.hpp"

namespace vexal {

// The last bars of a window, oldest first: plain doubles (an absent entry
// held as 0.0) beside a flag per entry and a count of the absent ones. The
// doubles are what the window reductions read, on one live bar as over a
// research chunk, so a window is complete in O(1) and its contents are one
// run of doubles; the flags say which entry a snapshot or the count must
// skip. Storage for the whole capacity is reserved once and never touched
// until used, so a huge window costs address space, not memory; pushing
// never allocates.
//
// Up to kMirrorLimit entries, each is also stored one capacity further on,
// so the contents always lie in one run starting at the head. A larger
// buffer keeps one copy (a huge window costs no more address space than it
// must) and is rearranged in place when read as one run.
// The hot members are always inlined: each is a few instructions on every
// bar of every windowed transform.
class ValueBuffer {
 public:
  // Reserves room for `capacity` entries, counted against the state limit
  // in force as 9 bytes an entry (twice that where mirrored), or reports
  // that it cannot.
  [[nodiscard]] static std::expected<ValueBuffer, VexalError> with_capacity(std::size_t capacity) {
    constexpr std::size_t entry = sizeof(double) + sizeof(bool);
    if (capacity > std::numeric_limits<std::size_t>::max() / (2 * entry)) return too_large();
    const bool mirrored = capacity <= kMirrorLimit;
    const std::size_t slots = (mirrored ? 2 : 1) * capacity;
    if (auto claimed = StateLimit::claim(slots * entry); !claimed) {
      return std::unexpected(std::move(claimed.error()));
    }
    void* storage = nullptr;
    if (capacity > 0) {
      storage = ::operator new(slots * entry, std::nothrow);
      if (storage == nullptr) return too_large();
    }
    return ValueBuffer(static_cast<double*>(storage), capacity, mirrored);
  }

  ValueBuffer(ValueBuffer&& other) noexcept { take(other); }
  ValueBuffer& operator=(ValueBuffer&& other) noexcept {
    if (this != &other) {
      ::operator delete(values_);
      take(other);
    }
    return *this;
  }
  ValueBuffer(const ValueBuffer&) = delete;
  ValueBuffer& operator=(const ValueBuffer&) = delete;
  ~ValueBuffer() { ::operator delete(values_); }

  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  [[nodiscard]] bool full() const { return size_ == capacity_; }
  // Absent entries among those held.
  [[nodiscard]] std::size_t absent() const { return absent_count_; }
  // Full, and every entry present.
  [[nodiscard]] bool complete() const { return size_ == capacity_ && absent_count_ == 0; }

  void clear() {
    head_ = 0;
    size_ = 0;
    absent_count_ = 0;
  }

  // Appends at the back; when full, the oldest entry is dropped first so
  // the buffer keeps the latest `capacity` entries.
  [[gnu::always_inline]] void push_back(const OptionalValue& v) {
    if (capacity_ == 0) return;
    if (size_ == capacity_) drop_oldest();
    std::size_t slot = head_ + size_;
    if (slot >= capacity_) slot -= capacity_;
    place(slot, v ? *v : 0.0, !v);
    ++size_;
  }

  // What one push displaced, so that the push can be taken back.
  struct Displaced {
    bool pushed = false;
    bool dropped = false;
    double oldest = 0.0;
    bool oldest_absent = false;
  };

  [[nodiscard, gnu::always_inline]] Displaced push_back_undoable(const OptionalValue& v) {
    Displaced d;
    if (capacity_ == 0) return d;
    d.pushed = true;
    if (size_ == capacity_) {
      d.dropped = true;
      d.oldest = values_[head_];
      d.oldest_absent = absent_[head_];
    }
    push_back(v);
    return d;
  }

  // Takes back the last push, in O(1): drops the newest entry and puts the
  // displaced oldest back in front. Works on the contents, not on storage
  // positions, so a make_contiguous in between does no harm.
  [[gnu::always_inline]] void undo(const Displaced& d) {
    if (!d.pushed) return;
    std::size_t newest = head_ + size_ - 1;
    if (newest >= capacity_) newest -= capacity_;
    if (absent_[newest]) --absent_count_;
    --size_;
    if (d.dropped) {
      head_ = head_ == 0 ? capacity_ - 1 : head_ - 1;
      place(head_, d.oldest, d.oldest_absent);
      ++size_;
    }
  }

  // Entry i counted from the oldest; out of range is an internal failure.
  [[nodiscard]] OptionalValue operator[](std::size_t i) const {
    require_index(i, size_);
    std::size_t slot = head_ + i;
    if (slot >= capacity_) slot -= capacity_;
    return absent_[slot] ? std::nullopt : OptionalValue(values_[slot]);
  }
  [[nodiscard]] OptionalValue front() const { return (*this)[0]; }
  [[nodiscard]] OptionalValue back() const { return (*this)[size_ - 1]; }

  // Calls f on every entry, oldest first.
  template <class F>
  void for_each(F&& f) const {
    for (std::size_t i = 0; i < size_; ++i) f((*this)[i]);
  }

  // Asks the cache for what the next push and a read of the window touch:
  // a book runs through thousands of buffers a bar, each one a miss unless
  // fetched while the ones before it are worked on.
  [[gnu::always_inline]] void prefetch() const {
    if (capacity_ == 0) return;
    const std::size_t first = head_ == 0 ? 0 : head_ - 1;
    const std::size_t span = (mirrored_ ? capacity_ + 1 : capacity_ - first) * sizeof(double);
    const char* from = reinterpret_cast<const char*>(values_ + first);
    for (std::size_t at = 0; at < span; at += 64) __builtin_prefetch(from + at, 1);
    __builtin_prefetch(absent_ + first, 1);
    if (mirrored_) __builtin_prefetch(absent_ + first + capacity_, 1);
  }

  // The doubles oldest first as one run (absent entries read 0.0). Wrapped
  // storage of an unmirrored buffer is rearranged in place.
  [[gnu::always_inline]] std::span<const double> make_contiguous() {
    if (!mirrored_ && head_ + size_ > capacity_) {
      // Rotating the whole storage brings the head to slot 0; only the
      // initialised slots matter, and rotating moves them all.
      std::rotate(values_, values_ + head_, values_ + capacity_);
      std::rotate(absent_, absent_ + head_, absent_ + capacity_);
      head_ = 0;
    }
    return {values_ + head_, size_};
  }

 private:
  // 4 Mi entries, 72 MiB mirrored: far beyond any window in practical use.
  static constexpr std::size_t kMirrorLimit = std::size_t{1} << 22;

  ValueBuffer(double* storage, std::size_t capacity, bool mirrored)
      : values_(storage),
        absent_(reinterpret_cast<bool*>(storage + (mirrored ? 2 : 1) * capacity)),
        capacity_(capacity),
        mirrored_(mirrored) {}

  static std::unexpected<VexalError> too_large() {
    return std::unexpected(VexalError::invalid_input("window is too large"));
  }

  void take(ValueBuffer& other) {
    values_ = std::exchange(other.values_, nullptr);
    absent_ = std::exchange(other.absent_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    head_ = std::exchange(other.head_, 0);
    size_ = std::exchange(other.size_, 0);
    absent_count_ = std::exchange(other.absent_count_, 0);
    mirrored_ = other.mirrored_;
  }

  [[gnu::always_inline]] void drop_oldest() {
    if (absent_[head_]) --absent_count_;
    head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
    --size_;
  }

  [[gnu::always_inline]] void place(std::size_t slot, double value, bool is_absent) {
    values_[slot] = value;
    absent_[slot] = is_absent;
    if (mirrored_) {
      values_[slot + capacity_] = value;
      absent_[slot + capacity_] = is_absent;
    }
    if (is_absent) ++absent_count_;
  }

  double* values_ = nullptr;
  bool* absent_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
  std::size_t absent_count_ = 0;
  bool mirrored_ = false;
};

// A buffer for a window of `window` + `extra` entries, failing in an orderly
// way when that count overflows or cannot be reserved.
[[nodiscard]] inline std::expected<ValueBuffer, VexalError> reserve_window(std::size_t window,
                                                                           std::size_t extra = 0) {
  if (window > std::numeric_limits<std::size_t>::max() - extra) {
    return std::unexpected(VexalError::invalid_input("window is too large"));
  }
  return ValueBuffer::with_capacity(window + extra);
}

}  // namespace vexal
