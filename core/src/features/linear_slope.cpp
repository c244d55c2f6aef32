#include "features/linear_slope.hpp"

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<LinearSlope, VexalError> LinearSlope::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 2, "x and y"), window_at_least(window, 2),
                                   outputs_exactly(outputs, 2, "[slope, r2]")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return LinearSlope(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

std::string LinearSlope::uneven_windows(const BufferSet<2>& buffers) {
  return "LinearSlope holds " + std::to_string(buffers[0].size()) + " x values but " +
         std::to_string(buffers[1].size()) + " y values";
}

UpdateResult LinearSlope::evaluate(std::span<const OptionalValue>) {
  const auto x = complete_run(buffer(0));
  const auto y = complete_run(buffer(1));
  if (!x || !y) return {std::nullopt, std::nullopt};
  const double mean_x = mean_of(*x);
  const double mean_y = mean_of(*y);
  double sxx = 0.0;
  double sxy = 0.0;
  double syy = 0.0;
  for (std::size_t i = 0; i < window(); ++i) {
    const double dx = *(*x)[i] - mean_x;
    const double dy = *(*y)[i] - mean_y;
    sxx += dx * dx;
    sxy += dy * dx;
    syy += dy * dy;
  }
  // All x equal: no line to fit. A NaN Sxx is not zero and flows through.
  if (sxx == 0.0) return {std::nullopt, std::nullopt};
  const double slope = sxy / sxx;
  // A constant y is fitted exactly by slope 0, but explains nothing.
  const OptionalValue r2 = syy != 0.0 ? OptionalValue((sxy * sxy) / (syy * sxx)) : std::nullopt;
  return {slope, r2};
}

void LinearSlope::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                 std::size_t n) {
  require_values(in, 2);
  require_values(out, 2);
  const ChunkWindow xw(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const ChunkWindow yw(buffer(1), n, [&](std::size_t t) { return in[1].at(t); });
  const std::size_t first = xw.first_full();
  const std::size_t m = n - first;
  std::vector<double> mean_x(m), mean_y(m), sxx(m), sxy(m), syy(m);
  if (m > 0) {
    const double* x = xw.window_of(first);
    const double* y = yw.window_of(first);
    const auto size = static_cast<double>(window());
    window_sums(x, m, window(), mean_x.data());
    window_sums(y, m, window(), mean_y.data());
    for (std::size_t i = 0; i < m; ++i) {
      mean_x[i] = mean_x[i] / size;
      mean_y[i] = mean_y[i] / size;
    }
    window_co_moments(x, y, m, window(), mean_x.data(), mean_y.data(), sxx.data(), sxy.data(), syy.data());
  }
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t i = t - first;
    if (t < first || !xw.complete(t) || !yw.complete(t) || sxx[i] == 0.0) {
      out[0].set_absent(t);
      out[1].set_absent(t);
      continue;
    }
    out[0].set(t, sxy[i] / sxx[i]);
    if (syy[i] != 0.0) {
      out[1].set(t, (sxy[i] * sxy[i]) / (syy[i] * sxx[i]));
    } else {
      out[1].set_absent(t);
    }
  }
  set_absent_from(out, 2, n);
  xw.store(buffer(0));
  yw.store(buffer(1));
}

}  // namespace vexal
