#pragma once

#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// On-balance volume. Reads close, volume. A running total that starts at the
// first bar's volume (as TA-Lib's does), then adds the volume of a bar
// closing higher than the one before and subtracts that of a bar closing
// lower. A bar with an absent value or a negative volume drops the total,
// which starts again at the next complete bar's volume.
class Obv final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Obv";

  [[nodiscard]] static std::expected<Obv, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override;
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;
  // Tag, names, previous close, total.
  void save(SnapshotWriter& out) const override;
  [[nodiscard]] static std::expected<Obv, VexalError> load(SnapshotReader& in);

 private:
  // The total after the bar; absent for a bar that drops it.
  [[nodiscard]] OptionalValue next_total(const OptionalValue& close, const OptionalValue& volume) const;

  Obv(Names inputs, Names outputs) : NamedTransform(std::move(inputs), std::move(outputs)) {}

  OptionalValue previous_close_;
  OptionalValue total_;  // present exactly when previous_close_ is
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
