#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/gain_loss_oscillator.hpp"

namespace vexal {

// Chande momentum oscillator of the first input: 100 · (G − L) / (G + L),
// over Rsi's Wilder averages G and L of the gains and losses, as TA-Lib's
// CMO computes it. A window without any move (G + L = 0) has no value.
class Cmo final : public GainLossOscillator<Cmo> {
 public:
  static constexpr std::string_view snapshot_tag = "Cmo";

  [[nodiscard]] static OptionalValue index(const OptionalValue& gains, const OptionalValue& losses) {
    if (!gains || !losses) return std::nullopt;
    const double total = *gains + *losses;
    if (total == 0.0) return std::nullopt;
    return 100.0 * ((*gains - *losses) / total);
  }

 private:
  friend GainLossOscillator;
  using GainLossOscillator::GainLossOscillator;
};

template <>
struct Describe<Cmo> : Described<Cmo> {
  static constexpr std::string_view summary =
      "Chande momentum oscillator of inputs[0] (the close): 100 * (G - L) / (G + L), where G and "
      "L are Wilder averages over ``window`` bars, avg = (avg * (window - 1) + x) / window, of "
      "the gains max(d, 0) and losses max(-d, 0) of the bar-to-bar change d, each seeded with "
      "the simple average of its first ``window`` changes (as ``Rsi``). NaN while a window saw "
      "no move (TA-Lib writes 0 there). The first value is at bar ``window``; TA-Lib's CMO "
      "smooths and seeds the same way and agrees from its first value, bit for bit on daily "
      "SPY.";
  static constexpr Option<Cmo> options[] = {inputs_option<Cmo>, window_option<Cmo>, outputs_option<Cmo>};
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view options_note = "window (Wilder)";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "CMO: first";
  static constexpr std::string_view state =
      "size window, value previous close, then the gains' and the losses' Wilder state";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Cmo([\"close\"], 14, [\"cmo\"])";
};

}  // namespace vexal
