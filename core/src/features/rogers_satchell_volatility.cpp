#include "features/rogers_satchell_volatility.hpp"

#include <cmath>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

// ln(L/O)·ln(L/C) + ln(H/O)·ln(H/C). Whether open and close lie inside the
// range is not checked, so a bar outside its own range can give a negative
// term.
OptionalValue rogers_satchell_term(std::span<const OptionalValue> bar) {
  const OptionalValue& high = bar[0];
  const OptionalValue& low = bar[1];
  const OptionalValue& open = bar[2];
  const OptionalValue& close = bar[3];
  if (!high || !low || !open || !close) return std::nullopt;
  const double h = *high;
  const double l = *low;
  const double o = *open;
  const double c = *close;
  if (!(h > 0.0) || !(l > 0.0) || !(o > 0.0) || !(h >= l) || !(c > 0.0)) return std::nullopt;
  return std::log(l / o) * std::log(l / c) + std::log(h / o) * std::log(h / c);
}

}  // namespace

std::expected<RogersSatchellVolatility, VexalError> RogersSatchellVolatility::create(Names inputs,
                                                                                     std::size_t window,
                                                                                     Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, open, and close"),
                                   window_non_zero(window), outputs_not_empty(outputs)))
    return *failure;
  auto terms = all_reserved(reserve_window(window));
  if (!terms) return std::unexpected(std::move(terms.error()));
  return RogersSatchellVolatility(std::move(inputs), window, std::move(outputs), std::move(*terms));
}

RogersSatchellVolatility::Entries RogersSatchellVolatility::entries(
    std::span<const OptionalValue> values) const {
  return {rogers_satchell_term(values)};
}

template class WindowedState<RogersSatchellVolatility, 1>;
template class Stepped<RogersSatchellVolatility, 1, 4, 1>;

}  // namespace vexal
