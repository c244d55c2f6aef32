#include "features/williams_r.hpp"

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<WilliamsR, VexalError> WilliamsR::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return WilliamsR(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

WilliamsR::Entries WilliamsR::entries(std::span<const OptionalValue> values) const {
  if (!TrueRange::valid_range(values[0], values[1])) return {std::nullopt, std::nullopt};
  return {values[0], values[1]};
}

OptionalValue WilliamsR::percent_r(double close, double highest_high, double lowest_low) {
  const double range = highest_high - lowest_low;
  if (range == 0.0) return std::nullopt;
  // close − HH is +0.0 at the top of the range, so the maximum is 0, not −0.
  return 100.0 * ((close - highest_high) / range);
}

template class WindowedState<WilliamsR, 2>;
template class Stepped<WilliamsR, 2, 3, 1>;

}  // namespace vexal
