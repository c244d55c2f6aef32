#pragma once

#include <optional>
#include <string_view>

#include "descriptor.hpp"
#include "features/ewm.hpp"

namespace vexal {

struct EwmMeanState {
  OptionalValue mean;
};

// Exponentially weighted mean, pandas' ewm(adjust=False).mean(): m = x at
// the first present value, then m = (1 − α) · m + α · x. An absent value
// has no mean, and the next present value starts it again.
class EwmMean final : public EwmRecursion<EwmMean, EwmMeanState> {
 public:
  static constexpr std::string_view snapshot_tag = "EwmMean";

  [[nodiscard]] OptionalValue step(OptionalValue x, EwmMeanState& s) const {
    if (!x) {
      s = {};
      return std::nullopt;
    }
    const double a = alpha_weight();
    s.mean = s.mean ? (1.0 - a) * *s.mean + a * *x : *x;
    return s.mean;
  }

  static void save_state(const EwmMeanState& s, SnapshotWriter& out) { out.value(s.mean); }
  static void load_state(EwmMeanState& s, SnapshotReader& in) { s.mean = in.value("mean"); }

 private:
  friend EwmRecursion;
  using EwmRecursion::EwmRecursion;
};

template <>
struct Describe<EwmMean> : Described<EwmMean> {
  static constexpr std::string_view summary =
      "Exponentially weighted mean of inputs[0], as pandas' ``ewm(..., adjust=False).mean()``: m "
      "= x at the first value, then m = (1 - alpha) * m + alpha * x. Give exactly one of "
      "``alpha`` in (0, 1], ``span`` >= 1 (alpha = 2 / (span + 1)) or ``halflife`` > 0 (alpha = "
      "1 - exp(ln(0.5) / halflife)). Present from the first bar. A missing value gives NaN and "
      "the next value starts the mean again (pandas would carry the old weights across it).";
  static constexpr Option<EwmMean> options[] = {inputs_option<EwmMean>,
                                                outputs_option<EwmMean>,
                                                {"alpha",
                                                 OptionType::OptionalNumber,
                                                 {},
                                                 {},
                                                 [](const EwmMean& t) -> OptionValue { return t.alpha(); },
                                                 true},
                                                {"span",
                                                 OptionType::OptionalNumber,
                                                 {},
                                                 {},
                                                 [](const EwmMean& t) -> OptionValue { return t.span(); },
                                                 true},
                                                {"halflife",
                                                 OptionType::OptionalNumber,
                                                 {},
                                                 {},
                                                 [](const EwmMean& t) -> OptionValue { return t.halflife(); },
                                                 true}};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "alpha=None, span=None, halflife=None (exactly one)";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state =
      "value alpha, value span, value halflife (absent when not given), value mean";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "EwmMean([\"close\"], [\"ewm\"], 0.1)";
};

}  // namespace vexal
