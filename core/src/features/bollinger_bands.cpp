#include "features/bollinger_bands.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<BollingerBands, VexalError> BollingerBands::create(Names inputs, std::size_t window,
                                                                 Names outputs, double k) {
  if (auto failure = first_failure(
          inputs_not_empty(inputs),
          outputs_exactly(outputs, 5, "[middle, upper, lower, percent_b, bandwidth]"),
          window_non_zero(window), require(std::isfinite(k) && k > 0.0, "k must be finite and > 0")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return BollingerBands(std::move(inputs), window, std::move(outputs), std::move(*buffers), k);
}

void BollingerBands::bands(std::span<const ColumnOut> out, std::size_t t, double x, double middle, double m2,
                           double size) const {
  const double width = k_ * std::sqrt(m2 / size);
  const double upper = middle + width;
  const double lower = middle - width;
  const double range = upper - lower;
  out[0].set(t, middle);
  out[1].set(t, upper);
  out[2].set(t, lower);
  out[3].set(t, range != 0.0 ? OptionalValue((x - lower) / range) : std::nullopt);
  out[4].set(t, middle != 0.0 ? OptionalValue(range / middle) : std::nullopt);
}

template class WindowedState<BollingerBands, 1>;
template class Stepped<BollingerBands, 1, 1, 5>;

}  // namespace vexal
