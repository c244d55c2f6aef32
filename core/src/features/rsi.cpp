#include "features/rsi.hpp"

#include "internal_failure.hpp"

namespace vexal {

std::expected<Rsi, VexalError> Rsi::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto gains = WilderAverage::create(window);
  if (!gains) return std::unexpected(std::move(gains.error()));
  auto losses = WilderAverage::create(window);
  if (!losses) return std::unexpected(std::move(losses.error()));
  return Rsi(std::move(inputs), window, std::move(outputs), std::move(*gains), std::move(*losses));
}

void Rsi::clear_state() {
  previous_.reset();
  gains_.reset();
  losses_.reset();
}

UpdateResult Rsi::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  OptionalValue gain;
  OptionalValue loss;
  if (x && previous_) {
    // Written so a NaN change stays NaN in both instead of counting as 0.
    const double change = *x - *previous_;
    gain = change < 0.0 ? 0.0 : change;
    loss = change > 0.0 ? 0.0 : -change;
  }
  previous_ = x;
  const OptionalValue g = gains_.update(gain);
  const OptionalValue l = losses_.update(loss);
  if (!g || !l) return {std::nullopt};
  const double total = *g + *l;
  if (total == 0.0) return {std::nullopt};
  return {100.0 * (*g / total)};
}

}  // namespace vexal
