#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <type_traits>
#include <vector>

#include "internal_failure.hpp"
#include "optional_value.hpp"
#include "whole_store.hpp"

namespace vexal {

// A sequence with inline room for N elements; only a longer one moves to the
// heap. Used where a per-bar allocation would dominate the cost of the bar.
template <class T, std::size_t N>
class SmallVector {
 public:
  static constexpr std::size_t inline_capacity = N;

  SmallVector() = default;
  // The values of an update's `return {a, b}`, taken by value so that they
  // arrive in registers and each lands in its slot with one store.
  template <class... U>
    requires(sizeof...(U) >= 1 && sizeof...(U) <= N && (std::is_convertible_v<U, T> && ...))
  SmallVector(U... values) {
    (place(size_++, T(values)), ...);
  }

  void push_back(const T& value) {
    if (on_heap() || size_ == N) {
      if (!on_heap()) {
        heap_.reserve(2 * N);
        heap_.assign(inline_.begin(), inline_.end());
      }
      heap_.push_back(value);
    } else {
      place(size_, value);
    }
    ++size_;
  }

  void clear() {
    heap_.clear();
    size_ = 0;
  }

  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  [[nodiscard]] bool on_heap() const { return !heap_.empty(); }

  [[nodiscard]] std::span<const T> values() const {
    if (on_heap()) return {heap_.data(), heap_.size()};
    return {inline_.data(), size_};
  }

  // Checked access: reading past the end is an internal failure.
  [[nodiscard]] const T& at(std::size_t i) const {
    require_index(i, size_);
    return values()[i];
  }
  const T& operator[](std::size_t i) const { return at(i); }

  [[nodiscard]] const T* begin() const { return values().data(); }
  [[nodiscard]] const T* end() const { return begin() + size_; }

 private:
  void place(std::size_t i, T value) {
    if constexpr (std::is_same_v<T, OptionalValue>) {
      store_whole(&inline_[i], value);
    } else {
      inline_[i] = value;
    }
  }

  std::array<T, N> inline_{};
  std::vector<T> heap_;
  std::size_t size_ = 0;
};

}  // namespace vexal
