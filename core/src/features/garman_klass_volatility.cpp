#include "features/garman_klass_volatility.hpp"

#include <cmath>
#include <numbers>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

constexpr double two_ln2_minus_1 = 2.0 * std::numbers::ln2 - 1.0;

OptionalValue garman_klass_term(std::span<const OptionalValue> bar) {
  const OptionalValue& open = bar[0];
  const OptionalValue& high = bar[1];
  const OptionalValue& low = bar[2];
  const OptionalValue& close = bar[3];
  if (!open || !high || !low || !close) return std::nullopt;
  if (!(*open > 0.0) || !(*high > 0.0) || !(*low > 0.0) || !(*close > 0.0) || !(*high >= *low))
    return std::nullopt;
  const double hl = std::log(*high / *low);
  const double co = std::log(*close / *open);
  return 0.5 * (hl * hl) - two_ln2_minus_1 * (co * co);
}

}  // namespace

std::expected<GarmanKlassVolatility, VexalError> GarmanKlassVolatility::create(Names inputs,
                                                                               std::size_t window,
                                                                               Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 4, "open, high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return GarmanKlassVolatility(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

GarmanKlassVolatility::Entries GarmanKlassVolatility::entries(std::span<const OptionalValue> values) const {
  return {garman_klass_term(values)};
}

template class WindowedState<GarmanKlassVolatility, 1>;
template class Stepped<GarmanKlassVolatility, 1, 4, 1>;

}  // namespace vexal
