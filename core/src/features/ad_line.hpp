#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/true_range.hpp"
#include "recurrent.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// The accumulation/distribution line. Reads high, low, close, volume. A
// running total of each bar's money flow volume, ((c − l) − (h − c)) / (h − l)
// · v, a flat bar (h = l) adding nothing, as TA-Lib's AD. A bar that is
// incomplete, has its high below its low or a negative volume drops the
// total, which starts again at the next complete bar's flow.
class AdLine final : public Recurrent<AdLine, OptionalValue, 4> {
 public:
  static constexpr std::string_view snapshot_tag = "AdLine";

  [[nodiscard]] static std::expected<AdLine, VexalError> create(Names inputs, Names outputs) {
    if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, close, and volume"),
                                     outputs_not_empty(outputs)))
      return *failure;
    return AdLine(std::move(inputs), std::move(outputs));
  }

  // A bar's money flow volume, in TA-Lib's order of operations; absent for a
  // bar that is incomplete, inverted or of negative volume. What Cmf and
  // ChaikinOscillator read too.
  [[nodiscard]] static OptionalValue flow(std::span<const OptionalValue> bar) {
    const OptionalValue& close = bar[2];
    const OptionalValue& volume = bar[3];
    if (!TrueRange::valid_range(bar[0], bar[1]) || !close || !volume || !(*volume >= 0.0))
      return std::nullopt;
    const double high = *bar[0];
    const double low = *bar[1];
    const double range = high - low;
    if (!(range > 0.0)) return 0.0;
    return ((*close - low) - (high - *close)) / range * *volume;
  }

  // The total after a bar of `flow`.
  [[nodiscard]] static OptionalValue next_total(const OptionalValue& total, const OptionalValue& flow) {
    if (!flow) return std::nullopt;
    return total ? *total + *flow : *flow;
  }

  [[nodiscard]] std::size_t warm_up_period() const override { return 0; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_));
  }
  // Tag, names, total.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.value(carried_);
  }
  [[nodiscard]] static std::expected<AdLine, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const OptionalValue total = in.value("total");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs)));
    if (!made) return in.failure();
    made->carried_ = total;
    return in.result(std::move(*made));
  }

 private:
  friend Recurrent;
  AdLine(Names inputs, Names outputs) : Recurrent(std::move(inputs), std::move(outputs)) {}

  // Carried: the running total.
  [[nodiscard]] Row step(OptionalValue& total, Bar bar) const {
    total = next_total(total, flow(bar));
    return {total};
  }
};

template <>
struct Describe<AdLine> : Described<AdLine> {
  static constexpr std::string_view summary =
      "Accumulation/distribution line. inputs: [high, low, close, volume]. A running total of "
      "((close - low) - (high - close)) / (high - low) * volume, starting at the first bar's; a "
      "bar with high = low adds 0. A missing value, high < low or a negative volume starts it "
      "again. TA-Lib's AD sums the same terms in the same order and agrees bit for bit.";
  static constexpr Option<AdLine> options[] = {inputs_option<AdLine>, outputs_option<AdLine>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volume";
  static constexpr std::string_view reads = "high, low, close, volume";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view talib = "AD: first";
  static constexpr std::string_view state = "value running total";
  static constexpr MissingPolicy missing = MissingPolicy::RestartsTotal;
  static constexpr std::string_view example = "AdLine([\"high\", \"low\", \"close\", \"volume\"], [\"ad\"])";
};

}  // namespace vexal
