#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <vector>

#include "internal_failure.hpp"
#include "optional_value.hpp"

namespace vexal {

// The values one update returns, the i-th for the i-th output name. Room for
// four values inline, so producing a bar's output never allocates; a longer
// result moves to the heap.
class UpdateResult {
 public:
  static constexpr std::size_t inline_capacity = 4;

  UpdateResult() = default;
  UpdateResult(std::initializer_list<OptionalValue> values) {
    for (const auto& v : values) push_back(v);
  }

  void push_back(OptionalValue value) {
    if (!heap_.empty() || size_ == inline_capacity) {
      if (heap_.empty()) heap_.assign(inline_.begin(), inline_.end());
      heap_.push_back(value);
    } else {
      inline_[size_] = value;
    }
    ++size_;
  }

  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  [[nodiscard]] bool on_heap() const { return !heap_.empty(); }

  [[nodiscard]] std::span<const OptionalValue> values() const {
    if (on_heap()) return {heap_.data(), heap_.size()};
    return {inline_.data(), size_};
  }

  // Checked access: reading past the end is an internal failure.
  [[nodiscard]] const OptionalValue& at(std::size_t i) const {
    require_index(i, size_);
    return values()[i];
  }
  const OptionalValue& operator[](std::size_t i) const { return at(i); }

  [[nodiscard]] const OptionalValue* begin() const { return values().data(); }
  [[nodiscard]] const OptionalValue* end() const { return begin() + size_; }

 private:
  std::array<OptionalValue, inline_capacity> inline_{};
  std::vector<OptionalValue> heap_;
  std::size_t size_ = 0;
};

}  // namespace vexal
