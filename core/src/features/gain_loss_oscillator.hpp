#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <utility>

#include "columns/column.hpp"
#include "error.hpp"
#include "features/wilder_average.hpp"
#include "internal_failure.hpp"
#include "seeded_recursion.hpp"
#include "windowed.hpp"

namespace vexal {

// What Rsi and Cmo share: Wilder averages G and L over `window` bars of the
// gains max(Δ, 0) and losses max(−Δ, 0) of the first input's bar-to-bar
// change Δ, each seeded with the simple average of its first `window`
// changes, and the output `Derived::index(G, L)`. An absent price drops both
// averages and seeding starts again. A snapshot holds the window, the
// previous price, then each average's state.
// The running recursion's locals.
struct GainLossHot {
  double previous;  // price
  double gains;
  double losses;
};

template <class Derived>
class GainLossOscillator : public SeededRecursion<Derived, GainLossHot, 1, 1, Windowed<Derived, 0>> {
  using Recursion = SeededRecursion<Derived, GainLossHot, 1, 1, Windowed<Derived, 0>>;

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
      : Recursion(std::move(inputs), window, std::move(outputs), {}),
        gains_(std::move(gains)),
        losses_(std::move(losses)) {}

 private:
  // Seeded, with a previous price, both averages step on each present
  // price; seeding and an absent price take update's general path.
  friend Recursion;
  using Bar = typename Recursion::Bar;
  using Row = typename Recursion::Row;
  [[nodiscard]] std::optional<GainLossHot> hot() const {
    if (!previous_ || !gains_.average() || !losses_.average()) return std::nullopt;
    return GainLossHot{*previous_, *gains_.average(), *losses_.average()};
  }
  bool step(GainLossHot& hot, Bar bar, Row& row) const {
    if (!bar[0]) return false;
    const double price = *bar[0];
    const Move move = moved(price, hot.previous);
    hot.gains = gains_.step(hot.gains, *move.gain);
    hot.losses = losses_.step(hot.losses, *move.loss);
    hot.previous = price;
    row[0] = Derived::index(hot.gains, hot.losses);
    return true;
  }
  void resume(const GainLossHot& hot) {
    previous_ = hot.previous;
    gains_.resume(hot.gains);
    losses_.resume(hot.losses);
  }
  Row seed(Bar bar) { return {advance(bar[0])}; }
  Row peek_seed(Bar bar) {
    const Move move = move_to(bar[0]);
    return {Derived::index(gains_.peek(move.gain), losses_.peek(move.loss))};
  }

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
