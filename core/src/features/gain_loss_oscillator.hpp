#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <utility>

#include "columns/column.hpp"
#include "columns/seeded_run.hpp"
#include "error.hpp"
#include "features/wilder_average.hpp"
#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

// What Rsi and Cmo share: Wilder averages G and L over `window` bars of the
// gains max(Δ, 0) and losses max(−Δ, 0) of the first input's bar-to-bar
// change Δ, each seeded with the simple average of its first `window`
// changes, and the output `Derived::index(G, L)`. An absent price drops both
// averages and seeding starts again. A snapshot holds the window, the
// previous price, then each average's state.
template <class Derived>
class GainLossOscillator : public Windowed<Derived, 0> {
 public:
  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto gains = WilderAverage::create(window);
    if (!gains) return std::unexpected(std::move(gains.error()));
    auto losses = WilderAverage::create(window);
    if (!losses) return std::unexpected(std::move(losses.error()));
    return Derived(std::move(inputs), window, std::move(outputs), std::move(*gains), std::move(*losses));
  }

  // `window` changes need `window` + 1 prices.
  [[nodiscard]] std::size_t warm_up_period() const override { return this->window(); }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    return {advance(values[0])};
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    const Move move = move_to(values[0]);
    return {Derived::index(gains_.peek(move.gain), losses_.peek(move.loss))};
  }

  // Seeded, with a previous price, both averages run on locals while the
  // prices stay present; seeding and an absent price take update's own path.
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
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
            y.set(t, Derived::index(g, l));
          }
          previous_ = previous;
          gains_.resume(g);
          losses_.resume(l);
          return t;
        },
        [&](std::size_t t) { y.set(t, advance(x.at(t))); });
    set_absent_from(out, 1, n);
  }

  void clear_state() {
    previous_.reset();
    gains_.reset();
    losses_.reset();
  }
  void save_state(SnapshotWriter& out) const {
    out.value(previous_);
    gains_.save_state(out);
    losses_.save_state(out);
  }
  void load_state(SnapshotReader& in) {
    previous_ = in.value("previous price");
    gains_.load_state(in);
    losses_.load_state(in);
  }

 protected:
  GainLossOscillator(Names inputs, std::size_t window, Names outputs, WilderAverage gains,
                     WilderAverage losses)
      : Windowed<Derived, 0>(std::move(inputs), window, std::move(outputs), {}),
        gains_(std::move(gains)),
        losses_(std::move(losses)) {}

 private:
  struct Move {
    OptionalValue gain;
    OptionalValue loss;
  };

  // The gain and loss from the previous price to `x`.
  [[nodiscard]] Move move_to(const OptionalValue& x) const {
    if (!x || !previous_) return {};
    return moved(*x, *previous_);
  }
  [[nodiscard]] static Move moved(double x, double previous) {
    // Written so a NaN change stays NaN in both instead of counting as 0.
    const double change = x - previous;
    return {change < 0.0 ? 0.0 : change, change > 0.0 ? 0.0 : -change};
  }

  OptionalValue advance(const OptionalValue& x) {
    const Move move = move_to(x);
    previous_ = x;
    const OptionalValue g = gains_.update(move.gain);
    const OptionalValue l = losses_.update(move.loss);
    return Derived::index(g, l);
  }

  OptionalValue previous_;
  WilderAverage gains_;
  WilderAverage losses_;
};

}  // namespace vexal
