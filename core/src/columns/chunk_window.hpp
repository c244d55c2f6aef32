#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "optional_value.hpp"
#include "value_buffer.hpp"

namespace vexal {

// What a windowed transform's windows read over one chunk: the entries its
// ring buffer holds (as many as a window can still reach), then one new
// entry per bar of the chunk. Absent entries read as 0.0 and are counted,
// so whether a window is complete is one difference of prefix counts.
class ChunkWindow {
 public:
  // `term(t)` is the entry bar t of the chunk pushes (its value, or the
  // per-bar term a transform keeps instead).
  template <class Term>
  ChunkWindow(const ValueBuffer& buffer, std::size_t n, Term&& term)
      : capacity_(buffer.capacity()), seen_(buffer.size()), n_(n) {
    history_ = std::min(seen_, capacity_ == 0 ? 0 : capacity_ - 1);
    values_.resize(history_ + n_);
    absent_before_.resize(history_ + n_ + 1);
    absent_before_[0] = 0;
    for (std::size_t k = 0; k < history_; ++k) place(k, buffer[seen_ - history_ + k]);
    for (std::size_t t = 0; t < n_; ++t) place(history_ + t, term(t));
  }

  [[nodiscard]] std::size_t bars() const { return n_; }
  // The first bar of the chunk after which the buffer is full.
  [[nodiscard, gnu::always_inline]] std::size_t first_full() const {
    return seen_ + 1 >= capacity_ ? 0 : std::min(n_, capacity_ - 1 - seen_);
  }
  // Whether bar t's window holds `capacity` entries.
  [[nodiscard, gnu::always_inline]] bool full(std::size_t t) const { return t >= first_full(); }
  // Where the kernels find the windows of bars first, first + 1, ...: one
  // run, each window one entry on from the last.
  [[nodiscard, gnu::always_inline]] const double* rows(std::size_t first) const { return window_of(first); }
  // The oldest entry of bar t's window of `capacity` entries (t >= first_full()).
  [[nodiscard, gnu::always_inline]] const double* window_of(std::size_t t) const {
    return values_.data() + history_ + t + 1 - capacity_;
  }
  // Every entry of bar t's full window is present.
  [[nodiscard, gnu::always_inline]] bool complete(std::size_t t) const {
    const std::size_t end = history_ + t + 1;
    return absent_before_[end] == absent_before_[end - capacity_];
  }
  // Entry `back` places before bar t's newest (0 is its own entry).
  [[nodiscard]] bool present(std::size_t t, std::size_t back = 0) const {
    const std::size_t k = history_ + t - back;
    return absent_before_[k + 1] == absent_before_[k];
  }
  [[nodiscard]] double value(std::size_t t, std::size_t back = 0) const {
    return values_[history_ + t - back];
  }

  // Leaves `buffer` holding what pushing every entry of the chunk, bar by
  // bar, would have left: its latest `capacity` entries.
  void store(ValueBuffer& buffer) const {
    if (n_ == 0) return;
    const std::size_t total = values_.size();
    const std::size_t keep = std::min(capacity_, std::min(total, seen_ + n_));
    buffer.clear();
    for (std::size_t k = total - keep; k < total; ++k) {
      const bool ok = absent_before_[k + 1] == absent_before_[k];
      buffer.push_back(ok ? OptionalValue(values_[k]) : std::nullopt);
    }
  }

 private:
  void place(std::size_t k, const OptionalValue& v) {
    values_[k] = v ? *v : 0.0;
    absent_before_[k + 1] = absent_before_[k] + (v ? 0 : 1);
  }

  std::size_t capacity_;
  std::size_t seen_;
  std::size_t n_;
  std::size_t history_ = 0;
  std::vector<double> values_;
  std::vector<std::size_t> absent_before_;
};

// A value per bar of the chunk, zero-initialised.
template <class T>
[[nodiscard]] std::vector<T> per_bar(const ChunkWindow& window) {
  return std::vector<T>(window.bars());
}

}  // namespace vexal
