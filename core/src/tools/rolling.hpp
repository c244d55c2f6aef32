#pragma once

#include <cstddef>

#include "optional_value.hpp"
#include "value_buffer.hpp"

namespace vexal {

// Mean and sample variance (divisor n - 1) of n >= 2 values.
struct SampleMoments {
  double mean;
  double variance;
};

// Two passes over the values that `each` visits, oldest first: the sum, then
// the squared deviations from the mean. Recomputing from scratch instead of
// keeping running sums means no rounding drift along a series. Non-finite
// values are not screened; they flow through the arithmetic. `each(f)` must
// call f(double) once per value in the same order on every call.
template <class Each>
[[nodiscard]] SampleMoments sample_moments(const Each& each, std::size_t n) {
  double sum = 0.0;
  each([&](double x) { sum += x; });
  const double mean = sum / static_cast<double>(n);
  double m2 = 0.0;
  each([&](double x) {
    const double d = x - mean;
    m2 += d * d;
  });
  return {mean, m2 / static_cast<double>(n - 1)};
}

// Sample standard deviation of the elements, oldest first; absent when fewer
// than two elements or any of them is absent.
[[nodiscard]] OptionalValue std_dev(ColumnView values);
[[nodiscard]] OptionalValue std_dev(const ValueBuffer& window);

// Trailing-window sample standard deviation: result[t] = std_dev of
// values[t - window + 1 .. t], absent until the first window is full. Empty
// when `window` is 0; all absent when `window` is 1 or longer than `values`.
[[nodiscard]] Series rolling(ColumnView values, std::size_t window);

}  // namespace vexal
