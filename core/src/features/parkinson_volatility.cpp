#include "features/parkinson_volatility.hpp"

#include <cmath>
#include <numbers>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

OptionalValue parkinson_term(const OptionalValue& high, const OptionalValue& low) {
  if (!high || !low || !(*high > 0.0) || !(*low > 0.0) || !(*high >= *low)) return std::nullopt;
  const double r = std::log(*high / *low);
  return r * r;
}

}  // namespace

std::expected<ParkinsonVolatility, VexalError> ParkinsonVolatility::create(Names inputs, std::size_t window,
                                                                           Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 2, "high and low"), outputs_not_empty(outputs),
                                   window_non_zero(window)))
    return *failure;
  auto terms = all_reserved(reserve_window(window));
  if (!terms) return std::unexpected(std::move(terms.error()));
  return ParkinsonVolatility(std::move(inputs), window, std::move(outputs), std::move(*terms));
}

ParkinsonVolatility::Entries ParkinsonVolatility::entries(std::span<const OptionalValue> values) const {
  return {parkinson_term(values[0], values[1])};
}

template class WindowedState<ParkinsonVolatility, 1>;
template class Stepped<ParkinsonVolatility, 1, 2, 1>;

}  // namespace vexal
