#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "descriptor.hpp"
#include "features/ema_chain.hpp"
#include "features/roc.hpp"

namespace vexal {

// Trix: the one-bar rate of change in percent of a triple Ema, e3 the Ema
// of the Ema of the Ema of the first input, all over `window` bars:
// (e3[t] / e3[t − 1] − 1) · 100, Roc's arithmetic. The chain is EmaChain's,
// so e3 is first present at bar 3 · (window − 1) and Trix one bar later; the
// previous e3 is kept beside it, and is absent after a gap until e3 returns.
class Trix final : public EmaChain<Trix, 3, OptionalValue> {
 public:
  static constexpr std::string_view snapshot_tag = "Trix";

  [[nodiscard]] std::size_t warm_up_period() const override { return EmaChain::warm_up_period() + 1; }
  // The chain's fields, then the previous triple average.
  void save(SnapshotWriter& out) const override {
    EmaChain::save(out);
    out.value(carried_);
  }
  [[nodiscard]] static std::expected<Trix, VexalError> load(SnapshotReader& in) {
    auto made = EmaChain::load(in);
    if (!made) return made;
    made->carried_ = in.value("previous triple average");
    return in.result(std::move(*made));
  }

 private:
  friend EmaChain;
  using EmaChain::EmaChain;

  // The rate from the previous triple average, which is carried.
  template <class Flow>
  static void finish(Flow& f, const std::array<typename Flow::Line, 3>& levels, OptionalValue& previous) {
    f.emit_map(
        0,
        [&previous](const OptionalValue& level) {
          const OptionalValue rate = rate_from(previous, level);
          previous = level;
          return rate;
        },
        levels[2]);
  }

  [[nodiscard]] static OptionalValue rate_from(const OptionalValue& previous, const OptionalValue& level) {
    if (!previous || !level) return std::nullopt;
    return Roc::compare(*previous, *level);
  }
};

template <>
struct Describe<Trix> : Described<Trix> {
  static constexpr std::string_view summary =
      "Trix of inputs[0]: the one-bar rate of change in percent of a triple exponential "
      "average, (e3[t] / e3[t - 1] - 1) * 100, with e1 = Ema(window) of the input, e2 = "
      "Ema(window) of e1 and e3 = Ema(window) of e2, each seeded with the simple average of its "
      "first window as ``Ema`` is. e3 is first present at bar 3 * (``window`` - 1), so the "
      "first value is at bar 3 * (``window`` - 1) + 1. TA-Lib's TRIX seeds the same way and "
      "agrees from its first value (within 1e-9).";
  static constexpr Option<Trix> options[] = {inputs_option<Trix>, window_option<Trix>, outputs_option<Trix>};
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "3w − 2";
  static constexpr std::string_view talib = "TRIX: first";
  static constexpr std::string_view state =
      "size window, the three `Ema`, each a whole object with its tag, then value previous "
      "triple average";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Trix([\"close\"], 15, [\"trix\"])";
};

}  // namespace vexal
