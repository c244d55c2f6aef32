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

Rsi::Move Rsi::move_to(const OptionalValue& x) const {
  if (!x || !previous_) return {};
  // Written so a NaN change stays NaN in both instead of counting as 0.
  const double change = *x - *previous_;
  return {change < 0.0 ? 0.0 : change, change > 0.0 ? 0.0 : -change};
}

OptionalValue Rsi::index(const OptionalValue& gains, const OptionalValue& losses) {
  if (!gains || !losses) return std::nullopt;
  const double total = *gains + *losses;
  if (total == 0.0) return std::nullopt;
  return 100.0 * (*gains / total);
}

UpdateResult Rsi::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const Move move = move_to(values[0]);
  previous_ = values[0];
  const OptionalValue g = gains_.update(move.gain);
  const OptionalValue l = losses_.update(move.loss);
  return {index(g, l)};
}

UpdateResult Rsi::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const Move move = move_to(values[0]);
  const OptionalValue g = gains_.peek(move.gain);
  const OptionalValue l = losses_.peek(move.loss);
  return {index(g, l)};
}

void Rsi::save_state(SnapshotWriter& out) const {
  out.value(previous_);
  gains_.save_state(out);
  losses_.save_state(out);
}

void Rsi::load_state(SnapshotReader& in) {
  previous_ = in.value("previous price");
  gains_.load_state(in);
  losses_.load_state(in);
}

}  // namespace vexal
