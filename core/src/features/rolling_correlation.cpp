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

template class WindowedState<RollingCorrelation, 2>;
template class Stepped<RollingCorrelation, 2, 2, 1>;

}  // namespace vexal
