#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "features/wilder_average.hpp"
#include "windowed.hpp"

namespace vexal {

// Wilder's average true range over `window` bars: the Wilder average of
// TrueRange, seeded with the simple average of the first `window` ranges.
// Reads high, low, close. A bar without a true range (a value absent, high
// below low, or no previous close) drops the average and seeding starts
// again.
class Atr final : public Windowed<Atr, 0> {
 public:
  static constexpr std::string_view snapshot_tag = "Atr";

  [[nodiscard]] static std::expected<Atr, VexalError> create(Names inputs, std::size_t window, Names outputs);

  // The first true range needs a previous close.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

  void clear_state();
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  Atr(Names inputs, std::size_t window, Names outputs, WilderAverage average)
      : Windowed(std::move(inputs), window, std::move(outputs), {}), average_(std::move(average)) {}

  OptionalValue previous_close_;
  WilderAverage average_;
};

template <>
struct Describe<Atr> : Described<Atr> {
  static constexpr std::string_view summary =
      "Wilder's average true range. inputs: [high, low, close]. The Wilder average over "
      "``window`` bars of TrueRange, avg = (avg * (window - 1) + tr) / window, seeded with the "
      "simple average of the first ``window`` true ranges. The first true range is at bar 1, so "
      "the first value is at bar ``window``; TA-Lib's ATR seeds the same way and agrees from "
      "its first value (within 1e-13).";
  static constexpr Option<Atr> options[] = {inputs_option<Atr>, window_option<Atr>, outputs_option<Atr>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view options_note = "window (Wilder)";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "ATR: first";
  static constexpr std::string_view state =
      "size window, value previous close, the true ranges' Wilder state";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Atr([\"high\", \"low\", \"close\"], 14, [\"atr\"])";
};

}  // namespace vexal
