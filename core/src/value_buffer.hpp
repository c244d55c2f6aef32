#pragma once

#include <cstddef>
#include <expected>
#include <limits>
#include <span>
#include <utility>

#include "error.hpp"
#include "optional_value.hpp"
#include "ring_buffer.hpp"
#include "state_limit.hpp"

namespace vexal {

// The last bars of a window: plain doubles (an absent entry held as 0.0)
// beside a flag per entry and a count of the absent ones. The doubles are
// what the window reductions read, on one bar as over a chunk, so a window
// is complete in O(1) and its contents are one contiguous run of doubles;
// the flags say which entry a snapshot or a sliding count must skip.
class ValueBuffer {
 public:
  // Reserves room for `capacity` entries, or reports that it cannot.
  // Counted against the state limit as one claim of 9 bytes an entry
  // (twice that where mirrored).
  [[nodiscard]] static std::expected<ValueBuffer, VexalError> with_capacity(std::size_t capacity) {
    constexpr std::size_t entry = sizeof(double) + sizeof(bool);
    if (capacity > std::numeric_limits<std::size_t>::max() / (2 * entry)) {
      return std::unexpected(VexalError::invalid_input("window is too large"));
    }
    const std::size_t copies = RingBuffer<double>::is_mirrored(capacity) ? 2 : 1;
    if (auto claimed = StateLimit::claim(copies * capacity * entry); !claimed) {
      return std::unexpected(std::move(claimed.error()));
    }
    auto values = RingBuffer<double>::with_capacity(capacity, false);
    if (!values) return std::unexpected(std::move(values.error()));
    auto absent = RingBuffer<bool>::with_capacity(capacity, false);
    if (!absent) return std::unexpected(std::move(absent.error()));
    return ValueBuffer(std::move(*values), std::move(*absent));
  }

  [[nodiscard]] std::size_t size() const { return values_.size(); }
  [[nodiscard]] std::size_t capacity() const { return values_.capacity(); }
  [[nodiscard]] bool empty() const { return values_.empty(); }
  [[nodiscard]] bool full() const { return values_.full(); }
  // Absent entries among those held.
  [[nodiscard]] std::size_t absent() const { return absent_count_; }
  // Full, and every entry present.
  [[nodiscard]] bool complete() const { return values_.full() && absent_count_ == 0; }

  void clear() {
    values_.clear();
    absent_.clear();
    absent_count_ = 0;
  }

  // Appends at the back; when full, the oldest entry is dropped first.
  void push_back(const OptionalValue& v) {
    if (capacity() == 0) return;
    if (full() && absent_[0]) --absent_count_;
    values_.push_back(v ? *v : 0.0);
    absent_.push_back(!v);
    if (!v) ++absent_count_;
  }

  // What one push displaced, so that the push can be taken back.
  struct Displaced {
    RingBuffer<double>::Displaced value;
    RingBuffer<bool>::Displaced absent;
  };

  [[nodiscard]] Displaced push_back_undoable(const OptionalValue& v) {
    if (full() && capacity() != 0 && absent_[0]) --absent_count_;
    Displaced d{values_.push_back_undoable(v ? *v : 0.0), absent_.push_back_undoable(!v)};
    if (d.value.pushed && !v) ++absent_count_;
    return d;
  }

  // Takes back the last push, in O(1).
  void undo(const Displaced& d) {
    if (!d.value.pushed) return;
    if (absent_.back()) --absent_count_;
    values_.undo(d.value);
    absent_.undo(d.absent);
    if (d.absent.dropped && d.absent.oldest) ++absent_count_;
  }

  // Entry i counted from the oldest; out of range is an internal failure.
  [[nodiscard]] OptionalValue operator[](std::size_t i) const {
    const double v = values_[i];
    return absent_[i] ? std::nullopt : OptionalValue(v);
  }
  [[nodiscard]] OptionalValue front() const { return (*this)[0]; }
  [[nodiscard]] OptionalValue back() const { return (*this)[size() - 1]; }

  // Calls f on every entry, oldest first.
  template <class F>
  void for_each(F&& f) const {
    for (std::size_t i = 0; i < size(); ++i) f((*this)[i]);
  }

  // The doubles oldest first as one run (absent entries read 0.0);
  // wrapped storage of a huge window is rearranged in place.
  std::span<const double> make_contiguous() { return values_.make_contiguous(); }

 private:
  ValueBuffer(RingBuffer<double> values, RingBuffer<bool> absent)
      : values_(std::move(values)), absent_(std::move(absent)) {}

  RingBuffer<double> values_;
  RingBuffer<bool> absent_;
  std::size_t absent_count_ = 0;
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
