#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "features/wilder_average.hpp"
#include "windowed.hpp"

namespace vexal {

// Wilder's relative strength index of the first input: 100 · G / (G + L),
// where G and L are Wilder averages over `window` bars of the gains
// max(Δ, 0) and losses max(−Δ, 0) of the bar-to-bar change Δ, each seeded
// with the simple average of its first `window` changes. An absent price
// drops both averages and seeding starts again; a window without any move
// (G + L = 0) has no value.
class Rsi final : public Windowed<Rsi, 0> {
 public:
  static constexpr std::string_view snapshot_tag = "Rsi";

  [[nodiscard]] static std::expected<Rsi, VexalError> create(Names inputs, std::size_t window, Names outputs);

  // `window` changes need `window` + 1 prices.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

  void clear_state();
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  struct Move {
    OptionalValue gain;
    OptionalValue loss;
  };
  // The gain and loss from the previous price to `x`.
  [[nodiscard]] Move move_to(const OptionalValue& x) const;
  [[nodiscard]] static Move moved(double x, double previous);
  [[nodiscard]] static OptionalValue index(const OptionalValue& gains, const OptionalValue& losses);

  Rsi(Names inputs, std::size_t window, Names outputs, WilderAverage gains, WilderAverage losses)
      : Windowed(std::move(inputs), window, std::move(outputs), {}),
        gains_(std::move(gains)),
        losses_(std::move(losses)) {}

  OptionalValue previous_;
  WilderAverage gains_;
  WilderAverage losses_;
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
