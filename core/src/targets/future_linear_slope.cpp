#include "targets/future_linear_slope.hpp"

#include <algorithm>

#include "internal_failure.hpp"
#include "transform_base.hpp"

namespace vexal {

std::expected<FutureLinearSlope, VexalError> FutureLinearSlope::create(Names inputs, std::size_t horizon,
                                                                       Names outputs) {
  if (inputs.size() < 2) return invalid_input("inputs must contain x and y columns");
  if (std::ranges::any_of(inputs, [](const std::string& name) { return name.empty(); })) {
    return invalid_input("input names must not be empty");
  }
  if (horizon < 2) return invalid_input("horizon must be >= 2");
  if (outputs.size() != 2) return invalid_input("outputs must contain exactly 2 names: [slope, r2]");
  return FutureLinearSlope(std::move(inputs), horizon, std::move(outputs));
}

std::vector<Series> FutureLinearSlope::run_research(std::span<const ColumnView> columns) const {
  require_values(columns, 2);
  const ColumnView x = columns[0];
  const ColumnView y = columns[1];
  const std::size_t n = x.size();
  std::vector<Series> out(2, Series(n));
  Series& slope = out[0];
  Series& r2 = out[1];

  // Only bars whose whole window lies inside both columns get a value.
  const std::size_t usable = std::min(n, y.size());
  if (horizon_ > usable) return out;
  const std::size_t h = horizon_;
  const auto hf = static_cast<double>(h);
  for (std::size_t t = 0; t + h <= usable; ++t) {
    double sum_x = 0.0;
    double sum_y = 0.0;
    bool complete = true;
    for (std::size_t i = t; i < t + h; ++i) {
      if (!x[i] || !y[i]) {
        complete = false;
        break;
      }
      sum_x += *x[i];
      sum_y += *y[i];
    }
    if (!complete) continue;
    const double mean_x = sum_x / hf;
    const double mean_y = sum_y / hf;
    double sxx = 0.0;
    double syy = 0.0;
    double sxy = 0.0;
    for (std::size_t i = t; i < t + h; ++i) {
      const double dx = *x[i] - mean_x;
      const double dy = *y[i] - mean_y;
      sxx += dx * dx;
      syy += dy * dy;
      sxy += dx * dy;
    }
    // x constant over the window: no regression. A NaN Sxx is not zero and
    // flows on into NaN results.
    if (sxx == 0.0) continue;
    slope[t] = sxy / sxx;
    // y constant: the slope is 0 but the fit explains nothing, so no R².
    if (syy != 0.0) r2[t] = (sxy * sxy) / (sxx * syy);
  }
  return out;
}

}  // namespace vexal
