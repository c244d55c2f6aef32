#pragma once

#include <cmath>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "recurrent.hpp"
#include "transform_base.hpp"

namespace vexal {

// Wilder's true range: max(high - low, |high - previous close|, |low -
// previous close|). Reads high, low, close. Absent on the first bar (no
// previous close), after a bar without a close, and for a bar with its high
// or low absent or its high below its low.
class TrueRange final : public Recurrent<TrueRange, OptionalValue, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "TrueRange";

  [[nodiscard]] static std::expected<TrueRange, VexalError> create(Names inputs, Names outputs);

  // The range of a bar after `previous_close`, absent as described above.
  // In the header: every bar of Atr, Adx and the others built on it runs it.
  [[nodiscard]] static OptionalValue of(const OptionalValue& high, const OptionalValue& low,
                                        const OptionalValue& previous_close) {
    if (!previous_close || !valid_range(high, low)) return std::nullopt;
    double greatest = *high - *low;
    const double to_high = std::fabs(*high - *previous_close);
    if (to_high > greatest) greatest = to_high;
    const double to_low = std::fabs(*low - *previous_close);
    if (to_low > greatest) greatest = to_low;
    return greatest;
  }
  // Whether a bar's high and low are present and ordered.
  [[nodiscard]] static bool valid_range(const OptionalValue& high, const OptionalValue& low) {
    return high && low && *high >= *low;
  }

  [[nodiscard]] std::size_t warm_up_period() const override { return 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  // Tag, names, previous close.
  void save(SnapshotWriter& out) const override;
  [[nodiscard]] static std::expected<TrueRange, VexalError> load(SnapshotReader& in);

 private:
  friend Recurrent;
  TrueRange(Names inputs, Names outputs) : Recurrent(std::move(inputs), std::move(outputs)) {}

  // Carried: the previous bar's close.
  [[nodiscard]] Row step(OptionalValue& previous_close, Bar bar) const {
    const OptionalValue range = of(bar[0], bar[1], previous_close);
    previous_close = bar[2];
    return {range};
  }
};

template <>
struct Describe<TrueRange> : Described<TrueRange> {
  static constexpr std::string_view summary =
      "Wilder's true range. inputs: [high, low, close]. max(high - low, |high - previous "
      "close|, |low - previous close|); NaN on the first bar and for a bar whose high is below "
      "its low.";
  static constexpr Option<TrueRange> options[] = {inputs_option<TrueRange>, outputs_option<TrueRange>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view warm_up = "1";
  static constexpr std::string_view talib = "TRANGE: first";
  static constexpr std::string_view state = "value previous close";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "TrueRange([\"high\", \"low\", \"close\"], [\"tr\"])";
};

}  // namespace vexal
