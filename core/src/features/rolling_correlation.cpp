#include "features/rolling_correlation.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<RollingCorrelation, VexalError> RollingCorrelation::create(Names inputs, std::size_t window,
                                                                         Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 2, "x and y"), outputs_not_empty(outputs),
                                   window_at_least(window, 2)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return RollingCorrelation(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

UpdateResult RollingCorrelation::evaluate(std::span<const OptionalValue>) {
  const auto x = complete_run(buffer(0));
  const auto y = complete_run(buffer(1));
  if (!x || !y) return {std::nullopt};
  const double mean_x = mean_of(*x);
  const double mean_y = mean_of(*y);
  double sxx = 0.0;
  double syy = 0.0;
  double sxy = 0.0;
  for (std::size_t i = 0; i < x->size(); ++i) {
    const double dx = *(*x)[i] - mean_x;
    const double dy = *(*y)[i] - mean_y;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * dy;
  }
  return {correlation(sxx, syy, sxy)};
}

OptionalValue RollingCorrelation::correlation(double sxx, double syy, double sxy) {
  if (sxx == 0.0 || syy == 0.0) return std::nullopt;
  // One square root of the product keeps a perfect fit at exactly ±1; apart
  // only where the product overflows.
  const double product = sxx * syy;
  const double scale = std::isinf(product) ? std::sqrt(sxx) * std::sqrt(syy) : std::sqrt(product);
  double r = sxy / scale;
  if (r > 1.0) r = 1.0;
  if (r < -1.0) r = -1.0;
  return r;
}

void RollingCorrelation::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                        std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  const std::size_t w = window();
  const ChunkWindow xs(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const ChunkWindow ys(buffer(1), n, [&](std::size_t t) { return in[1].at(t); });
  const std::vector<double> mean_x = means_by_bar(xs, w, n);
  const std::vector<double> mean_y = means_by_bar(ys, w, n);
  std::vector<double> sxx(n, 0.0), syy(n, 0.0), sxy(n, 0.0);
  const std::size_t first = xs.first_full();
  if (first < n) {
    // A product of two deviations is the same either way round, so the
    // slope's co-moment kernel gives update's sums to the bit.
    window_co_moments(xs.window_of(first), ys.window_of(first), n - first, w, mean_x.data() + first,
                      mean_y.data() + first, sxx.data() + first, sxy.data() + first, syy.data() + first);
  }
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(xs, t) && ys.complete(t)) {
      out[0].set(t, correlation(sxx[t], syy[t], sxy[t]));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  xs.store(buffer(0));
  ys.store(buffer(1));
}

}  // namespace vexal
