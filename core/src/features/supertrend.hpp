#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/atr.hpp"
#include "features/keltner.hpp"
#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"

namespace vexal {

// What Supertrend carries from bar to bar.
struct SupertrendBands {
  OptionalValue close;  // the previous bar's
  OptionalValue upper;
  OptionalValue lower;
  double direction = 0.0;
};

// Supertrend: bands at hl2 ± `multiple` · Atr(window), hl2 = (high + low) / 2.
// The upper band only falls and the lower only rises while the close stays
// inside the previous band (a close beyond it lets the band move freely);
// the trend turns up when the close rises above the previous upper band and
// down when it falls below the previous lower one. The line is the lower
// band in an uptrend, the upper in a downtrend; the trend starts up at the
// first bar with an Atr. A bar without an Atr or a close drops the bands
// and the trend, and they start again with the next Atr.
class Supertrend final : public Composite<Supertrend, 3, 2, SupertrendBands> {
 public:
  static constexpr std::string_view snapshot_tag = "Supertrend";

  [[nodiscard]] static std::expected<Supertrend, VexalError> create(Names inputs, Names outputs,
                                                                    std::size_t window = 10,
                                                                    double multiple = 3.0) {
    if (auto failure = first_failure(
            inputs_contain(inputs, 3, "high, low, and close"),
            outputs_exactly(outputs, 2, "[line, direction]"), window_non_zero(window),
            require(multiple > 0.0 && std::isfinite(multiple), "multiple must be finite and > 0")))
      return *failure;
    auto range = Atr::create(inputs, window, Names{outputs[0]});
    if (!range) return std::unexpected(std::move(range.error()));
    return Supertrend(std::move(inputs), std::move(outputs), multiple, std::move(*range));
  }

  [[nodiscard]] std::size_t window() const { return range_.window(); }
  [[nodiscard]] double multiple() const { return multiple_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return range_.warm_up_period(); }
  [[nodiscard]] std::size_t work_per_bar() const override { return range_.work_per_bar() + 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, window(), multiple_));
  }
  void reset() override {
    range_.reset();
    carried_ = {};
  }
  // Tag, names, window, multiple, the Atr whole with its tag, then the
  // previous close, the two bands and the direction (0 before the first).
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.size(window());
    out.f64(multiple_);
    range_.save(out);
    out.value(carried_.close);
    out.value(carried_.upper);
    out.value(carried_.lower);
    out.f64(carried_.direction);
  }
  [[nodiscard]] static std::expected<Supertrend, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t window = in.size("window");
    const double multiple = in.f64("multiple");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), window, multiple));
    if (!made) return in.failure();
    if (!load_nested(in, snapshot_tag, made->range_)) return in.failure();
    Bands& b = made->carried_;
    b.close = in.value("previous close");
    b.upper = in.value("upper band");
    b.lower = in.value("lower band");
    b.direction = in.f64("direction");
    const bool seeded = b.upper && b.lower && (b.direction == 1.0 || b.direction == -1.0);
    const bool unseeded = !b.upper && !b.lower && b.direction == 0.0;
    if (in.ok() && !seeded && !unseeded) {
      in.fail("Supertrend holds both bands and a direction of 1 or -1, or none of them");
    }
    return in.result(std::move(*made));
  }

 private:
  using Bands = SupertrendBands;

  Supertrend(Names inputs, Names outputs, double multiple, Atr range)
      : Composite(std::move(inputs), std::move(outputs)), multiple_(multiple), range_(std::move(range)) {}

  // The Atr runs over the whole of its columns as it does alone, then the
  // bands, which are carried.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, Bands& bands) {
    const auto range = f.through(range_, f.input(0), f.input(1), f.input(2));
    f.emit_row([this, &bands](const OptionalValue& high, const OptionalValue& low, const OptionalValue& close,
                              const OptionalValue& r) { return step(high, low, close, r, bands); },
               f.input(0), f.input(1), f.input(2), range);
  }

  [[nodiscard]] UpdateResult step(OptionalValue high, OptionalValue low, OptionalValue close,
                                  OptionalValue range, Bands& b) const {
    // A present Atr means the bar's high and low made a range.
    if (!range || !close) {
      b = {close, std::nullopt, std::nullopt, 0.0};
      return {std::nullopt, std::nullopt};
    }
    const double middle = (*high + *low) / 2.0;
    const double width = multiple_ * *range;
    double upper = middle + width;
    double lower = middle - width;
    double direction = 1.0;
    if (b.upper) {
      const double last_upper = *b.upper;
      const double last_lower = *b.lower;
      const double last_close = *b.close;
      if (!(upper < last_upper || last_close > last_upper)) upper = last_upper;
      if (!(lower > last_lower || last_close < last_lower)) lower = last_lower;
      direction = b.direction;
      if (direction < 0.0 && *close > last_upper)
        direction = 1.0;
      else if (direction > 0.0 && *close < last_lower)
        direction = -1.0;
    }
    b = {close, upper, lower, direction};
    return {direction > 0.0 ? lower : upper, direction};
  }

  double multiple_;
  Atr range_;
};

template <>
struct Describe<Supertrend> : Described<Supertrend> {
  static constexpr std::string_view summary =
      "Supertrend. inputs: [high, low, close]; outputs: [line, direction]. With hl2 = (high + "
      "low) / 2 and Atr(window) Wilder's (seeded with its simple average, first at bar "
      "``window``): basic bands hl2 +/- ``multiple`` * atr; upper = basic upper if it is below "
      "the previous upper or the previous close was above it, else the previous upper; lower "
      "likewise mirrored. direction turns 1 when the close rises above the previous upper band "
      "and -1 when it falls below the previous lower band, starting at 1; line = lower when "
      "direction is 1, else upper. First value at bar ``window``.";
  static constexpr Option<Supertrend> options[] = {
      inputs_option<Supertrend>,
      outputs_option<Supertrend>,
      {"window", OptionType::Count, 10, {}, [](const Supertrend& t) -> OptionValue { return t.window(); }},
      {"multiple", OptionType::Number, {}, 3.0, [](const Supertrend& t) -> OptionValue {
         return t.multiple();
       }}};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "trend";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view writes = "line, direction";
  static constexpr std::string_view options_note = "window=10, multiple=3.0";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view state =
      "size window, f64 multiple, the `Atr` whole with its tag, value previous close, value upper, "
      "value lower, f64 direction (0 before the first)";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example =
      "Supertrend([\"high\", \"low\", \"close\"], [\"supertrend\", \"direction\"])";
};

}  // namespace vexal
