#include "features/rolling_correlation.hpp"

#include <cmath>

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

UpdateResult RollingCorrelation::update(std::span<const OptionalValue> values) {
  require_values(values, 2);
  push(entries(values));
  return evaluate(values);
}

RollingCorrelation::Entries RollingCorrelation::entries(std::span<const OptionalValue> values) const {
  return {values[0], values[1]};
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
  if (sxx == 0.0 || syy == 0.0) return {std::nullopt};
  // One square root of the product keeps a perfect fit at exactly ±1; apart
  // only where the product overflows.
  const double product = sxx * syy;
  const double scale = std::isinf(product) ? std::sqrt(sxx) * std::sqrt(syy) : std::sqrt(product);
  double r = sxy / scale;
  if (r > 1.0) r = 1.0;
  if (r < -1.0) r = -1.0;
  return {r};
}

UpdateResult RollingCorrelation::peek(std::span<const OptionalValue> values) {
  require_values(values, 2);
  return tentatively(entries(values), [&] { return evaluate(values); });
}

}  // namespace vexal
