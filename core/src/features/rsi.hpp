#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/gain_loss_oscillator.hpp"

namespace vexal {

// Wilder's relative strength index of the first input: 100 · G / (G + L),
// where G and L are Wilder averages over `window` bars of the gains
// max(Δ, 0) and losses max(−Δ, 0) of the bar-to-bar change Δ, each seeded
// with the simple average of its first `window` changes. An absent price
// drops both averages and seeding starts again; a window without any move
// (G + L = 0) has no value.
class Rsi final : public GainLossOscillator<Rsi> {
 public:
  static constexpr std::string_view snapshot_tag = "Rsi";

  [[nodiscard]] static OptionalValue index(const OptionalValue& gains, const OptionalValue& losses) {
    if (!gains || !losses) return std::nullopt;
    const double total = *gains + *losses;
    if (total == 0.0) return std::nullopt;
    return 100.0 * (*gains / total);
  }

 private:
  friend GainLossOscillator;
  using GainLossOscillator::GainLossOscillator;
};

template <>
struct Describe<Rsi> : Described<Rsi> {
  static constexpr std::string_view summary =
      "Wilder's relative strength index of inputs[0] (the close): 100 * G / (G + L), where G "
      "and L are Wilder averages over ``window`` bars, avg = (avg * (window - 1) + x) / window, "
      "of the gains max(d, 0) and losses max(-d, 0) of the bar-to-bar change d, each seeded "
      "with the simple average of its first ``window`` changes. NaN while a window saw no move. "
      "Seeding: the first value is at bar ``window`` (after ``window`` + 1 closes), from the "
      "simple averages of the first ``window`` gains and losses; TA-Lib's RSI seeds the same "
      "way and agrees from its first value (within 1e-13: it multiplies by 1/window where this "
      "divides by window).";
  static constexpr Option<Rsi> options[] = {inputs_option<Rsi>, window_option<Rsi>, outputs_option<Rsi>};
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view options_note = "window (Wilder)";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "RSI: first";
  static constexpr std::string_view state =
      "size window, value previous close, then the gains' and the losses' Wilder state";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Rsi([\"close\"], 14, [\"rsi\"])";
};

}  // namespace vexal
