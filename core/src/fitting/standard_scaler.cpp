#include "fitting/standard_scaler.hpp"

#include <algorithm>
#include <cmath>

#include "tools/rolling.hpp"
#include "transform_base.hpp"

namespace vexal {

std::expected<std::pair<double, double>, VexalError> fit_standard_scaler(
    std::span<const OptionalValue> data) {
  const auto n = static_cast<std::size_t>(
      std::count_if(data.begin(), data.end(), [](const OptionalValue& v) { return v.has_value(); }));
  if (n == 0) return invalid_input("not enough valid values to compute mean");
  if (n == 1) return invalid_input("not enough valid values to compute std (need >= 2)");
  // Visiting the present values in place sums them in the same order as a
  // compacted copy would, without making one.
  const auto each = [&](auto&& f) {
    for (const OptionalValue& v : data) {
      if (v) f(*v);
    }
  };
  const SampleMoments m = sample_moments(each, n);
  // A NaN variance (infinite data) is not zero and is reported as a NaN std.
  if (m.variance == 0.0) return invalid_input("standard deviation is zero (all values are equal)");
  return std::pair{m.mean, std::sqrt(m.variance)};
}

}  // namespace vexal
