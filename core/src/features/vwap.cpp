#include "features/vwap.hpp"

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Vwap, VexalError> Vwap::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, close, and volume"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Vwap(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

Vwap::Entries Vwap::entries(std::span<const OptionalValue> values) const {
  const OptionalValue& close = values[2];
  const OptionalValue& volume = values[3];
  if (!TrueRange::valid_range(values[0], values[1]) || !close || !volume || !(*volume >= 0.0)) {
    return {std::nullopt, std::nullopt};
  }
  const double typical = (*values[0] + *values[1] + *close) / 3.0;
  return {typical * *volume, volume};
}

template class WindowedState<Vwap, 2>;
template class Stepped<Vwap, 2, 4, 1>;

}  // namespace vexal
