#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "optional_value.hpp"

namespace vexal {

// A run of bars of one column, the Arrow way: a value and a validity byte
// per bar (1 present, 0 absent). The value of an absent bar is unspecified,
// so a present NaN and an absent bar stay distinct.
struct ColumnIn {
  const double* values;
  const std::uint8_t* valid;

  [[nodiscard]] OptionalValue at(std::size_t i) const {
    return valid[i] != 0 ? OptionalValue(values[i]) : std::nullopt;
  }
};

struct ColumnOut {
  double* values;
  std::uint8_t* valid;

  void set(std::size_t i, const OptionalValue& v) const {
    values[i] = v ? *v : 0.0;
    valid[i] = v ? 1 : 0;
  }
  void set(std::size_t i, double v) const {
    values[i] = v;
    valid[i] = 1;
  }
  void set_absent(std::size_t i) const {
    values[i] = 0.0;
    valid[i] = 0;
  }
  [[nodiscard]] ColumnIn in() const { return {values, valid}; }
};

// Output names beyond those a transform gives values to are absent.
inline void set_absent_from(std::span<const ColumnOut> out, std::size_t first, std::size_t n) {
  for (std::size_t k = first; k < out.size(); ++k) {
    for (std::size_t t = 0; t < n; ++t) out[k].set_absent(t);
  }
}

// absent[i] = how many of the first i rows of `column` are absent, for i in
// 0..m: a run of rows is complete when two entries are equal.
inline std::vector<std::size_t> absent_prefix(ColumnIn column, std::size_t m) {
  std::vector<std::size_t> absent(m + 1, 0);
  for (std::size_t i = 0; i < m; ++i) absent[i + 1] = absent[i] + (column.valid[i] != 0 ? 0 : 1);
  return absent;
}

// Owned storage for one column of up to `capacity` bars, allocated once.
class ColumnBuffer {
 public:
  ColumnBuffer() = default;
  explicit ColumnBuffer(std::size_t capacity) : values_(capacity, 0.0), valid_(capacity, 0) {}

  [[nodiscard]] std::size_t capacity() const { return values_.size(); }
  [[nodiscard]] ColumnOut out() { return {values_.data(), valid_.data()}; }
  [[nodiscard]] ColumnIn in() const { return {values_.data(), valid_.data()}; }

 private:
  std::vector<double> values_;
  std::vector<std::uint8_t> valid_;
};

}  // namespace vexal
