#pragma once

#include <cmath>
#include <optional>
#include <string_view>

#include "descriptor.hpp"
#include "features/ewm.hpp"

namespace vexal {

struct EwmStdState {
  OptionalValue mean;
  double variance = 0.0;  // the biased weighted variance
  double squares = 0.0;   // the sum of the squared weights, which add up to 1
};

// Exponentially weighted standard deviation, pandas' ewm(adjust=False).std()
// with its default bias=False. With a = α and k = 1 − a, from m = x, v = 0,
// q = 1 at the first present value, each next one steps
//   m' = k·m + a·x,  v = k·(v + (m − m')²) + a·(x − m')²,  q = k²·q + a²,
// and the output is sqrt(v / (1 − q)): the biased variance made unbiased by
// the weights' effective count. An absent value has no output and the next
// present value seeds the recursion again.
class EwmStd final : public EwmRecursion<EwmStd, EwmStdState> {
 public:
  static constexpr std::string_view snapshot_tag = "EwmStd";

  // The first value has no spread yet.
  [[nodiscard]] std::size_t warm_up_period() const override { return 1; }

  [[nodiscard]] OptionalValue step(OptionalValue x, EwmStdState& s) const {
    if (!x) {
      s = {};
      return std::nullopt;
    }
    if (!s.mean) {
      s = {*x, 0.0, 1.0};
      return std::nullopt;
    }
    const double a = alpha_weight();
    const double k = 1.0 - a;
    const double old = *s.mean;
    const double mean = k * old + a * *x;
    const double shift = old - mean;
    const double deviation = *x - mean;
    s.mean = mean;
    s.variance = k * (s.variance + shift * shift) + a * (deviation * deviation);
    s.squares = k * k * s.squares + a * a;
    const double effective = 1.0 - s.squares;
    if (!(effective > 0.0)) return std::nullopt;
    return std::sqrt(s.variance / effective);
  }

  static void save_state(const EwmStdState& s, SnapshotWriter& out) {
    out.value(s.mean);
    out.f64(s.variance);
    out.f64(s.squares);
  }
  static void load_state(EwmStdState& s, SnapshotReader& in) {
    s.mean = in.value("mean");
    s.variance = in.f64("variance");
    s.squares = in.f64("squared weights");
    // Infinite or NaN inputs can leave a NaN variance; only a negative one is impossible.
    if (in.ok() && (s.variance < 0.0 || !(s.squares >= 0.0 && s.squares <= 1.0))) {
      in.fail("EwmStd's variance must not be negative and its squared weights must be in [0, 1]");
    }
  }

 private:
  friend EwmRecursion;
  using EwmRecursion::EwmRecursion;
};

template <>
struct Describe<EwmStd> : Described<EwmStd> {
  static constexpr std::string_view summary =
      "Exponentially weighted standard deviation of inputs[0], as pandas' ``ewm(..., "
      "adjust=False).std()`` (bias=False). With k = 1 - alpha, from m = x, v = 0, q = 1 at the "
      "first value: m' = k * m + alpha * x, v = k * (v + (m - m')**2) + alpha * (x - m')**2, q = "
      "k**2 * q + alpha**2, and the output sqrt(v / (1 - q)), first present at bar 1. Give "
      "exactly one of ``alpha`` in (0, 1], ``span`` >= 1 (alpha = 2 / (span + 1)) or "
      "``halflife`` > 0 (alpha = 1 - exp(ln(0.5) / halflife)). A missing value gives NaN and the "
      "next value seeds the recursion again (pandas would carry the old weights across it).";
  static constexpr Option<EwmStd> options[] = {inputs_option<EwmStd>,
                                               outputs_option<EwmStd>,
                                               {"alpha",
                                                OptionType::OptionalNumber,
                                                {},
                                                {},
                                                [](const EwmStd& t) -> OptionValue { return t.alpha(); },
                                                true},
                                               {"span",
                                                OptionType::OptionalNumber,
                                                {},
                                                {},
                                                [](const EwmStd& t) -> OptionValue { return t.span(); },
                                                true},
                                               {"halflife",
                                                OptionType::OptionalNumber,
                                                {},
                                                {},
                                                [](const EwmStd& t) -> OptionValue { return t.halflife(); },
                                                true}};
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view options_note = "alpha=None, span=None, halflife=None (exactly one)";
  static constexpr std::string_view warm_up = "1";
  static constexpr std::string_view state =
      "value alpha, value span, value halflife (absent when not given), value mean, f64 variance, f64 "
      "squared weights";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "EwmStd([\"close\"], [\"ewm_sd\"], 0.05)";
};

}  // namespace vexal
