#pragma once

#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "recurrent.hpp"
#include "transform_base.hpp"

namespace vexal {

// On-balance volume. Reads close, volume. A running total that starts at the
// first bar's volume (as TA-Lib's does), then adds the volume of a bar
// closing higher than the one before and subtracts that of a bar closing
// lower. A bar with an absent value or a negative volume drops the total,
// which starts again at the next complete bar's volume.
// The previous close and the total, present together or absent together.
struct ObvState {
  OptionalValue previous_close;
  OptionalValue total;
};

class Obv final : public Recurrent<Obv, ObvState, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Obv";

  [[nodiscard]] static std::expected<Obv, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  // Tag, names, previous close, total.
  void save(SnapshotWriter& out) const override;
  [[nodiscard]] static std::expected<Obv, VexalError> load(SnapshotReader& in);

 private:
  friend Recurrent;
  Obv(Names inputs, Names outputs) : Recurrent(std::move(inputs), std::move(outputs)) {}

  // The total after the bar; absent for a bar that drops it.
  [[nodiscard]] static OptionalValue next_total(const ObvState& s, const OptionalValue& close,
                                                const OptionalValue& volume) {
    if (!close || !volume || !(*volume >= 0.0)) return std::nullopt;
    if (!s.total) return *volume;
    if (*close > *s.previous_close) return *s.total + *volume;
    if (*close < *s.previous_close) return *s.total - *volume;
    return s.total;
  }

  [[nodiscard]] Row step(ObvState& s, Bar bar) const {
    s.total = next_total(s, bar[0], bar[1]);
    s.previous_close = s.total ? bar[0] : std::nullopt;
    return {s.total};
  }
};

template <>
struct Describe<Obv> : Described<Obv> {
  static constexpr std::string_view summary =
      "On-balance volume. inputs: [close, volume]. A running total starting at the first "
      "volume: + volume when the close rises, - volume when it falls; a missing value or a "
      "negative volume starts it again.";
  static constexpr Option<Obv> options[] = {inputs_option<Obv>, outputs_option<Obv>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volume";
  static constexpr std::string_view reads = "close, volume";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view talib = "OBV: first";
  static constexpr std::string_view state = "value previous close, value running total";
  static constexpr MissingPolicy missing = MissingPolicy::RestartsTotal;
  static constexpr std::string_view example = "Obv([\"close\", \"volume\"], [\"obv\"])";
};

}  // namespace vexal
