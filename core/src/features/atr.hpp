#pragma once

#include <cstddef>
#include <expected>
#include <optional>

#include "descriptor.hpp"
#include "error.hpp"
#include "features/true_range.hpp"
#include "features/wilder_average.hpp"
#include "seeded_recursion.hpp"
#include "windowed.hpp"

namespace vexal {

// Wilder's average true range over `window` bars: the Wilder average of
// TrueRange, seeded with the simple average of the first `window` ranges.
// Reads high, low, close. A bar without a true range (a value absent, high
// below low, or no previous close) drops the average and seeding starts
// again.
// The running recursion's locals.
struct AtrHot {
  double average;
  OptionalValue close;  // the previous bar's
};

class Atr final : public SeededRecursion<Atr, AtrHot, 3, 1, Windowed<Atr, 0>> {
 public:
  static constexpr std::string_view snapshot_tag = "Atr";

  [[nodiscard]] static std::expected<Atr, VexalError> create(Names inputs, std::size_t window, Names outputs);

  // The first true range needs a previous close.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }

  void clear_state();
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  Atr(Names inputs, std::size_t window, Names outputs, WilderAverage average)
      : SeededRecursion(std::move(inputs), window, std::move(outputs), {}), average_(std::move(average)) {}

  // Seeded, the average steps on each bar with a true range; seeding and a
  // bar without one take update's general path.
  friend SeededRecursion;
  [[nodiscard]] std::optional<AtrHot> hot() const {
    if (!average_.average()) return std::nullopt;
    return AtrHot{*average_.average(), previous_close_};
  }
  bool step(AtrHot& hot, Bar bar, Row& row) const {
    const OptionalValue range = TrueRange::of(bar[0], bar[1], hot.close);
    if (!range) return false;
    hot.average = average_.step(hot.average, *range);
    hot.close = bar[2];
    row[0] = hot.average;
    return true;
  }
  void resume(const AtrHot& hot) {
    average_.resume(hot.average);
    previous_close_ = hot.close;
  }
  Row seed(Bar bar);
  Row peek_seed(Bar bar);

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
