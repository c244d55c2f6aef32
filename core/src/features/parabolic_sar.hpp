#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "descriptor.hpp"
#include "error.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "recurrent.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Wilder's parabolic stop and reverse, step for step as TA-Lib's SAR takes
// it. The first bar gives only its high and low; at the second the trend is
// short when its low fell further than its high rose (a positive minus
// directional move), else long, the stop starts at the first bar's low
// (long) or high (short) and the extreme at the second bar's high (low).
// Each bar then reports the stop, and moves it by the acceleration times
// its distance to the extreme, never past the last two bars' lows (long) or
// highs (short); a new extreme raises the acceleration by `acceleration`
// up to `maximum`, and a bar crossing the stop reverses the trend, the stop
// starting at the old extreme. A bar that is incomplete or has its high
// below its low has no value, and the stop starts again after it.
// Where the stop stands after a bar, carried to the next.
struct SarState {
  std::uint8_t phase = 0;
  bool rising = false;
  double high = 0.0;  // the previous bar's
  double low = 0.0;
  double sar = 0.0;
  double extreme = 0.0;
  double factor = 0.0;
};

class ParabolicSar final : public Recurrent<ParabolicSar, SarState, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "ParabolicSar";

  [[nodiscard]] static std::expected<ParabolicSar, VexalError> create(Names inputs, Names outputs,
                                                                      double acceleration = 0.02,
                                                                      double maximum = 0.2) {
    if (auto failure = first_failure(
            inputs_contain(inputs, 2, "high and low"), outputs_not_empty(outputs),
            require(acceleration > 0.0 && std::isfinite(acceleration), "acceleration must be finite and > 0"),
            require(maximum >= acceleration && std::isfinite(maximum),
                    "maximum must be finite and >= acceleration")))
      return *failure;
    return ParabolicSar(std::move(inputs), std::move(outputs), acceleration, maximum);
  }

  [[nodiscard]] double acceleration() const { return acceleration_; }
  [[nodiscard]] double maximum() const { return maximum_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, acceleration_, maximum_));
  }
  // Tag, names, acceleration, maximum, then the phase (0: no bar, 1: one
  // bar, 2: running), the direction (1 long, 0 short), the previous bar's
  // high and low, the stop, the extreme and the acceleration factor.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.f64(acceleration_);
    out.f64(maximum_);
    out.u8(carried_.phase);
    out.u8(carried_.rising ? 1 : 0);
    out.f64(carried_.high);
    out.f64(carried_.low);
    out.f64(carried_.sar);
    out.f64(carried_.extreme);
    out.f64(carried_.factor);
  }
  [[nodiscard]] static std::expected<ParabolicSar, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const double acceleration = in.f64("acceleration");
    const double maximum = in.f64("maximum");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), acceleration, maximum));
    if (!made) return in.failure();
    SarState& s = made->carried_;
    s.phase = in.u8("phase");
    const std::uint8_t rising = in.u8("direction");
    s.rising = rising == 1;
    s.high = in.f64("previous high");
    s.low = in.f64("previous low");
    s.sar = in.f64("stop");
    s.extreme = in.f64("extreme");
    s.factor = in.f64("acceleration factor");
    if (in.ok() && (s.phase > 2 || rising > 1))
      in.fail("ParabolicSar holds a phase above 2 or a direction above 1");
    return in.result(std::move(*made));
  }

 private:
  ParabolicSar(Names inputs, Names outputs, double acceleration, double maximum)
      : Recurrent(std::move(inputs), std::move(outputs)), acceleration_(acceleration), maximum_(maximum) {}

  friend Recurrent;

  [[nodiscard]] Row step(SarState& s, Bar bar) const { return {stop(bar[0], bar[1], s)}; }

  [[nodiscard]] OptionalValue stop(OptionalValue high_in, OptionalValue low_in, SarState& s) const {
    if (!TrueRange::valid_range(high_in, low_in)) {
      s = {};
      return std::nullopt;
    }
    const double high = *high_in;
    const double low = *low_in;
    if (s.phase == 0) {
      s.phase = 1;
      s.high = high;
      s.low = low;
      return std::nullopt;
    }
    if (s.phase == 1) {
      // TA-Lib's one-bar minus directional move picks the first trend.
      const double up = high - s.high;
      const double down = s.low - low;
      s.rising = !(down > 0.0 && up < down);
      s.extreme = s.rising ? high : low;
      s.sar = s.rising ? s.low : s.high;
      s.factor = acceleration_;
      s.phase = 2;
      // Its first step reads this bar as both the previous and the new one.
      s.high = high;
      s.low = low;
    }
    const double previous_high = s.high;
    const double previous_low = s.low;
    s.high = high;
    s.low = low;
    double reported = 0.0;
    if (s.rising) {
      if (low <= s.sar) {
        s.rising = false;
        s.sar = std::max({s.extreme, previous_high, high});
        reported = s.sar;
        s.factor = acceleration_;
        s.extreme = low;
        s.sar = s.sar + s.factor * (s.extreme - s.sar);
        s.sar = std::max({s.sar, previous_high, high});
      } else {
        reported = s.sar;
        if (high > s.extreme) {
          s.extreme = high;
          s.factor = std::min(s.factor + acceleration_, maximum_);
        }
        s.sar = s.sar + s.factor * (s.extreme - s.sar);
        s.sar = std::min({s.sar, previous_low, low});
      }
    } else {
      if (high >= s.sar) {
        s.rising = true;
        s.sar = std::min({s.extreme, previous_low, low});
        reported = s.sar;
        s.factor = acceleration_;
        s.extreme = high;
        s.sar = s.sar + s.factor * (s.extreme - s.sar);
        s.sar = std::min({s.sar, previous_low, low});
      } else {
        reported = s.sar;
        if (low < s.extreme) {
          s.extreme = low;
          s.factor = std::min(s.factor + acceleration_, maximum_);
        }
        s.sar = s.sar + s.factor * (s.extreme - s.sar);
        s.sar = std::max({s.sar, previous_high, high});
      }
    }
    return reported;
  }

  double acceleration_;
  double maximum_;
};

template <>
struct Describe<ParabolicSar> : Described<ParabolicSar> {
  static constexpr std::string_view summary =
      "Parabolic stop and reverse. inputs: [high, low]. As TA-Lib's SAR: at bar 1 the trend is "
      "short if the low fell more than the high rose, else long; the stop starts at bar 0's low "
      "(long) or high (short) and the extreme point at bar 1's high (low). Each bar reports the "
      "stop, then moves it by af * (extreme - stop), kept beyond the last two bars' lows (long) "
      "or highs (short); a new extreme adds ``acceleration`` to af up to ``maximum``, and a bar "
      "through the stop reverses the trend with the stop at the old extreme and af reset. "
      "First value at bar 1; TA-Lib's SAR agrees from it.";
  static constexpr Option<ParabolicSar> options[] = {
      inputs_option<ParabolicSar>,
      outputs_option<ParabolicSar>,
      {"acceleration",
       OptionType::Number,
       {},
       0.02,
       [](const ParabolicSar& t) -> OptionValue { return t.acceleration(); }},
      {"maximum", OptionType::Number, {}, 0.2, [](const ParabolicSar& t) -> OptionValue {
         return t.maximum();
       }}};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "trend";
  static constexpr std::string_view reads = "high, low";
  static constexpr std::string_view options_note = "acceleration=0.02, maximum=0.2";
  static constexpr std::string_view warm_up = "1";
  static constexpr std::string_view talib = "SAR: first";
  static constexpr std::string_view state =
      "f64 acceleration, f64 maximum, u8 phase, u8 long, f64 previous high, f64 previous low, f64 "
      "stop, f64 extreme, f64 af";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "ParabolicSar([\"high\", \"low\"], [\"sar\"])";
};

}  // namespace vexal
