#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <expected>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "error.hpp"
#include "internal_failure.hpp"
#include "state_limit.hpp"

namespace vexal {

// Fixed-capacity double-ended queue, oldest at the front. The storage for the
// whole capacity is reserved once at construction but never touched until
// used, so a huge window costs address space, not memory; pushing and
// popping never allocate.
//
// Up to kMirrorLimit elements, every element is also stored in a mirror slot
// one capacity further on, so the contents always lie in one run starting
// at the head and a windowed statistic reads its window in place on every
// bar. A larger capacity keeps a single copy (so a huge window costs no more
// address space than it must) and is rearranged in place when read as one
// run.
template <class T>
class RingBuffer {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  // Reserves room for `capacity` elements, or reports that it cannot. The
  // storage counts against the state limit in force unless `counted` is
  // false (its owner counted it).
  [[nodiscard]] static std::expected<RingBuffer, VexalError> with_capacity(std::size_t capacity,
                                                                           bool counted = true) {
    if (capacity > std::numeric_limits<std::size_t>::max() / (2 * sizeof(T))) return too_large();
    const bool mirrored = is_mirrored(capacity);
    if (auto claimed = counted ? StateLimit::claim((mirrored ? 2 : 1) * capacity * sizeof(T))
                               : std::expected<void, VexalError>{};
        !claimed) {
      return std::unexpected(std::move(claimed.error()));
    }
    T* data = nullptr;
    if (capacity > 0) {
      data = static_cast<T*>(::operator new((mirrored ? 2 : 1) * capacity * sizeof(T), std::nothrow));
      if (data == nullptr) return too_large();
    }
    return RingBuffer(data, capacity, mirrored);
  }

  RingBuffer(RingBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        capacity_(std::exchange(other.capacity_, 0)),
        head_(std::exchange(other.head_, 0)),
        size_(std::exchange(other.size_, 0)),
        mirrored_(other.mirrored_) {}
  RingBuffer& operator=(RingBuffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      capacity_ = std::exchange(other.capacity_, 0);
      head_ = std::exchange(other.head_, 0);
      size_ = std::exchange(other.size_, 0);
      mirrored_ = other.mirrored_;
    }
    return *this;
  }
  RingBuffer(const RingBuffer&) = delete;
  RingBuffer& operator=(const RingBuffer&) = delete;
  ~RingBuffer() { release(); }

  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  [[nodiscard]] bool full() const { return size_ == capacity_; }

  void clear() {
    head_ = 0;
    size_ = 0;
  }

  // Appends at the back; when full, the oldest element is dropped first so
  // the buffer keeps the latest `capacity` elements.
  void push_back(const T& value) {
    if (capacity_ == 0) return;
    if (size_ == capacity_) pop_front();
    std::size_t slot = head_ + size_;
    if (slot >= capacity_) slot -= capacity_;
    data_[slot] = value;
    if (mirrored_) data_[slot + capacity_] = value;
    ++size_;
  }

  // What one push displaced, so that the push can be taken back.
  struct Displaced {
    bool pushed = false;
    bool dropped = false;
    T oldest{};
  };

  // push_back, remembering what it displaced.
  [[nodiscard]] Displaced push_back_undoable(const T& value) {
    Displaced d;
    if (capacity_ == 0) return d;
    d.pushed = true;
    if (size_ == capacity_) {
      d.dropped = true;
      d.oldest = data_[head_];
    }
    push_back(value);
    return d;
  }

  // Takes back the last push, in O(1): drops the newest element and puts
  // the displaced oldest back in front. Works on the contents, not on
  // storage positions, so a make_contiguous in between does no harm.
  void undo(const Displaced& d) {
    if (!d.pushed) return;
    --size_;
    if (d.dropped) {
      head_ = head_ == 0 ? capacity_ - 1 : head_ - 1;
      data_[head_] = d.oldest;
      if (mirrored_) data_[head_ + capacity_] = d.oldest;
      ++size_;
    }
  }

  void pop_front() {
    if (size_ == 0) return;
    head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
    --size_;
  }

  // Element i counted from the oldest; out of range is an internal failure.
  [[nodiscard]] const T& operator[](std::size_t i) const {
    require_index(i, size_);
    std::size_t slot = head_ + i;
    if (slot >= capacity_) slot -= capacity_;
    return data_[slot];
  }
  [[nodiscard]] const T& front() const { return (*this)[0]; }
  [[nodiscard]] const T& back() const { return (*this)[size_ - 1]; }

  // The contents oldest first as (at most) two contiguous runs.
  [[nodiscard]] std::pair<std::span<const T>, std::span<const T>> as_slices() const {
    const std::size_t first = std::min(size_, capacity_ - head_);
    return {std::span<const T>(data_ + head_, first), std::span<const T>(data_, size_ - first)};
  }

  // Rearranges the storage in place so the contents form one run, oldest
  // first, and returns it. Only initialised slots are moved.
  std::span<const T> make_contiguous() {
    if (mirrored_) return {data_ + head_, size_};
    const std::size_t first = capacity_ - head_;
    if (size_ > first) {
      const std::size_t second = size_ - first;
      const std::size_t gap = capacity_ - size_;
      // Slide the wrapped tail up against the head run, then rotate the
      // now contiguous block so the oldest element comes first.
      std::memmove(static_cast<void*>(data_ + gap), data_, second * sizeof(T));
      std::rotate(data_ + gap, data_ + head_, data_ + capacity_);
      head_ = gap;
    }
    return {data_ + head_, size_};
  }

  // Calls f on every element, oldest first.
  template <class F>
  void for_each(F&& f) const {
    const auto [a, b] = as_slices();
    for (const T& v : a) f(v);
    for (const T& v : b) f(v);
  }

  // Whether a buffer of `capacity` elements keeps the mirror copy.
  [[nodiscard]] static constexpr bool is_mirrored(std::size_t capacity) { return capacity <= kMirrorLimit; }

 private:
  // 4 Mi entries: far beyond any window in practical use.
  static constexpr std::size_t kMirrorLimit = std::size_t{1} << 22;

  RingBuffer(T* data, std::size_t capacity, bool mirrored)
      : data_(data), capacity_(capacity), mirrored_(mirrored) {}

  static std::unexpected<VexalError> too_large() {
    return std::unexpected(VexalError::invalid_input("window is too large"));
  }

  void release() {
    ::operator delete(data_);
    data_ = nullptr;
  }

  T* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
  bool mirrored_ = false;
};

}  // namespace vexal
