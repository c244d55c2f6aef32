#include "features/cci.hpp"

#include <cmath>

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

UpdateResult Cci::update(std::span<const OptionalValue> values) {
  require_values(values, 3);
  push(entries(values));
  return evaluate(values);
}

Cci::Entries Cci::entries(std::span<const OptionalValue> values) const {
  const OptionalValue& high = values[0];
  const OptionalValue& low = values[1];
  const OptionalValue& close = values[2];
  if (!TrueRange::valid_range(high, low) || !close) return {std::nullopt};
  return {(*high + *low + *close) / 3.0};
}

UpdateResult Cci::evaluate(std::span<const OptionalValue>) {
  const auto run = complete_run(buffer(0));
  if (!run) return {std::nullopt};
  const double n = static_cast<double>(run->size());
  const double mean = mean_of(*run);
  double deviations = 0.0;
  for (const OptionalValue& tp : *run) deviations += std::fabs(*tp - mean);
  const double mean_deviation = deviations / n;
  if (mean_deviation == 0.0) return {std::nullopt};
  return {(*run->back() - mean) / (0.015 * mean_deviation)};
}

UpdateResult Cci::peek(std::span<const OptionalValue> values) {
  require_values(values, 3);
  return tentatively(entries(values), [&] { return evaluate(values); });
}

}  // namespace vexal
