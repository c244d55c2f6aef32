#include "features/rsi.hpp"

#include "columns/seeded_run.hpp"
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
  return moved(*x, *previous_);
}

Rsi::Move Rsi::moved(double x, double previous) {
  // Written so a NaN change stays NaN in both instead of counting as 0.
  const double change = x - previous;
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

// Seeded, with a previous price, both averages run on locals while the
// prices stay present; seeding and an absent price take update's own path.
void Rsi::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ColumnIn x = in[0];
  const ColumnOut y = out[0];
  run_seeded(
      n, [&] { return previous_ && gains_.average() && losses_.average(); },
      [&](std::size_t t) {
        double previous = *previous_;
        double g = *gains_.average();
        double l = *losses_.average();
        for (; t < n && x.valid[t] != 0; ++t) {
          const double price = x.values[t];
          const Move move = moved(price, previous);
          g = gains_.step(g, *move.gain);
          l = losses_.step(l, *move.loss);
          previous = price;
          y.set(t, index(g, l));
        }
        previous_ = previous;
        gains_.resume(g);
        losses_.resume(l);
        return t;
      },
      [&](std::size_t t) {
        const OptionalValue price = x.at(t);
        y.set(t, Rsi::update(std::span(&price, 1))[0]);
      });
  set_absent_from(out, 1, n);
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
