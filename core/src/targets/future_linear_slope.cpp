#include "targets/future_linear_slope.hpp"

#include <algorithm>

#include "columns/window_sums.hpp"
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

void FutureLinearSlope::run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                                          std::span<const ColumnOut> out, std::size_t count) const {
  require_values(in, 2);
  require_values(out, 2);
  const std::size_t h = horizon_;
  // Rows whose window of h lies in the slice.
  // Compared as distances: h + first wraps for a horizon near 2^64.
  const std::size_t labelled = m - first >= h ? std::min(count, m - first - h + 1) : 0;
  const std::vector<std::size_t> absent_x = absent_prefix(in[0], m);
  const std::vector<std::size_t> absent_y = absent_prefix(in[1], m);
  std::vector<double> mean_x(labelled), mean_y(labelled), sxx(labelled), sxy(labelled), syy(labelled);
  if (labelled > 0) {
    const double* x = in[0].values + first;
    const double* y = in[1].values + first;
    const auto hf = static_cast<double>(h);
    window_sums(x, labelled, h, mean_x.data());
    window_sums(y, labelled, h, mean_y.data());
    for (std::size_t i = 0; i < labelled; ++i) {
      mean_x[i] = mean_x[i] / hf;
      mean_y[i] = mean_y[i] / hf;
    }
    window_co_moments(x, y, labelled, h, mean_x.data(), mean_y.data(), sxx.data(), sxy.data(), syy.data());
  }
  for (std::size_t t = 0; t < count; ++t) {
    const std::size_t r = first + t;
    const bool complete = t < labelled && absent_x[r + h] == absent_x[r] && absent_y[r + h] == absent_y[r];
    // x constant over the window: no regression; y constant: no R².
    if (!complete || sxx[t] == 0.0) {
      out[0].set_absent(t);
      out[1].set_absent(t);
      continue;
    }
    out[0].set(t, sxy[t] / sxx[t]);
    if (syy[t] != 0.0) {
      out[1].set(t, (sxy[t] * sxy[t]) / (sxx[t] * syy[t]));
    } else {
      out[1].set_absent(t);
    }
  }
  set_absent_from(out, 2, count);
}

}  // namespace vexal
