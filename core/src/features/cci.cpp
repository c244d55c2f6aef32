#include "features/cci.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Cci, VexalError> Cci::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Cci(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

Cci::Entries Cci::entries(std::span<const OptionalValue> values) const {
  const OptionalValue& high = values[0];
  const OptionalValue& low = values[1];
  const OptionalValue& close = values[2];
  if (!TrueRange::valid_range(high, low) || !close) return {std::nullopt};
  return {(*high + *low + *close) / 3.0};
}

OptionalValue Cci::index(double newest, double mean, double deviations, double size) {
  const double mean_deviation = deviations / size;
  if (mean_deviation == 0.0) return std::nullopt;
  return (newest - mean) / (0.015 * mean_deviation);
}

template class WindowedState<Cci, 1>;
template class Stepped<Cci, 1, 3, 1>;

}  // namespace vexal
