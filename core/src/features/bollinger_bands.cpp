#include "features/bollinger_bands.hpp"

#include <cmath>

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

UpdateResult BollingerBands::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  push(entries(values));
  return evaluate(values);
}

BollingerBands::Entries BollingerBands::entries(std::span<const OptionalValue> values) const {
  return {values[0]};
}

UpdateResult BollingerBands::evaluate(std::span<const OptionalValue> values) {
  const OptionalValue x = values[0];
  const auto run = complete_run(buffer(0));
  if (!run) return {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
  const double middle = mean_of(*run);
  double m2 = 0.0;
  for (const OptionalValue& v : *run) {
    const double d = *v - middle;
    m2 += d * d;
  }
  const double width = k_ * std::sqrt(m2 / static_cast<double>(run->size()));
  const double upper = middle + width;
  const double lower = middle - width;
  const double range = upper - lower;
  const OptionalValue percent_b = range != 0.0 ? OptionalValue((*x - lower) / range) : std::nullopt;
  const OptionalValue bandwidth = middle != 0.0 ? OptionalValue(range / middle) : std::nullopt;
  return {middle, upper, lower, percent_b, bandwidth};
}

UpdateResult BollingerBands::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  return tentatively(entries(values), [&] { return evaluate(values); });
}

}  // namespace vexal
