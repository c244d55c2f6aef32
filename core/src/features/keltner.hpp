#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/atr.hpp"
#include "features/ema.hpp"
#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Reads a nested transform saved whole (its tag, then its fields) into
// `into`, refusing another class or another window than the one built.
template <class Inner>
[[nodiscard]] bool load_nested(SnapshotReader& in, std::string_view owner, Inner& into) {
  const std::string tag = in.text("nested tag");
  if (!in.ok()) return false;
  if (tag != Inner::snapshot_tag) {
    in.fail(std::string(owner) + " holds a " + tag + " where an " + std::string(Inner::snapshot_tag) +
            " belongs");
    return false;
  }
  auto loaded = Inner::load(in);
  if (!loaded) return false;
  if (loaded->window() != into.window()) {
    in.fail(std::string(owner) + " holds an " + std::string(Inner::snapshot_tag) + " of window " +
            std::to_string(loaded->window()) + " where " + std::to_string(into.window()) + " belongs");
    return false;
  }
  into = std::move(*loaded);
  return true;
}

// Keltner channel: the middle line the library's Ema of the close over
// `window` bars, the bands the middle ± `multiple` times the Atr over the
// same window (each seeded with its simple average, and seeded again after
// a bar it cannot take).
class Keltner final : public Composite<Keltner, 3, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "Keltner";

  [[nodiscard]] static std::expected<Keltner, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs, double multiple = 2.0) {
    if (auto failure = first_failure(
            inputs_contain(inputs, 3, "high, low, and close"),
            outputs_exactly(outputs, 3, "[middle, upper, lower]"), window_non_zero(window),
            require(multiple > 0.0 && std::isfinite(multiple), "multiple must be finite and > 0")))
      return *failure;
    auto middle = Ema::create(Names{inputs[2]}, window, Names{outputs[0]});
    if (!middle) return std::unexpected(std::move(middle.error()));
    auto range = Atr::create(inputs, window, Names{outputs[1]});
    if (!range) return std::unexpected(std::move(range.error()));
    return Keltner(std::move(inputs), std::move(outputs), multiple, std::move(*middle), std::move(*range));
  }

  [[nodiscard]] std::size_t window() const { return middle_.window(); }
  [[nodiscard]] double multiple() const { return multiple_; }

  // The bands wait for the Atr, a bar after the Ema.
  [[nodiscard]] std::size_t warm_up_period() const override { return range_.warm_up_period(); }
  [[nodiscard]] std::size_t work_per_bar() const override {
    return middle_.work_per_bar() + range_.work_per_bar();
  }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, window(), outputs_, multiple_));
  }
  void reset() override {
    middle_.reset();
    range_.reset();
  }
  // Tag, names, window, multiple, then the Ema and the Atr, each whole with its tag.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.size(window());
    out.f64(multiple_);
    middle_.save(out);
    range_.save(out);
  }
  [[nodiscard]] static std::expected<Keltner, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t window = in.size("window");
    const double multiple = in.f64("multiple");
    auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs), multiple));
    if (!made) return in.failure();
    if (!load_nested(in, snapshot_tag, made->middle_) || !load_nested(in, snapshot_tag, made->range_))
      return in.failure();
    return in.result(std::move(*made));
  }

 private:
  Keltner(Names inputs, Names outputs, double multiple, Ema middle, Atr range)
      : Composite(std::move(inputs), std::move(outputs)),
        multiple_(multiple),
        middle_(std::move(middle)),
        range_(std::move(range)) {}

  // The Ema and the Atr each run over the whole of their columns, as they do alone.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, NothingCarried&) {
    const auto middle = f.through(middle_, f.input(2));
    const auto range = f.through(range_, f.input(0), f.input(1), f.input(2));
    f.emit_row([this](const OptionalValue& m, const OptionalValue& r) { return channel(m, r); }, middle,
               range);
  }

  [[nodiscard]] UpdateResult channel(OptionalValue middle, OptionalValue range) const {
    if (!middle) return {std::nullopt, std::nullopt, std::nullopt};
    if (!range) return {*middle, std::nullopt, std::nullopt};
    const double width = multiple_ * *range;
    return {*middle, *middle + width, *middle - width};
  }

  double multiple_;
  Ema middle_;
  Atr range_;
};

template <>
struct Describe<Keltner> : Described<Keltner> {
  static constexpr std::string_view summary =
      "Keltner channel. inputs: [high, low, close]; outputs: [middle, upper, lower]. middle = "
      "Ema(window) of the close, upper / lower = middle +/- ``multiple`` * Atr(window). The Ema "
      "is seeded with the simple average of its first window, so middle is present from bar "
      "``window`` - 1; the Atr is Wilder's, seeded the same way from bar 1, so the bands from "
      "bar ``window``. TA-Lib's EMA and ATR seed the same way and agree from their first values.";
  static constexpr Option<Keltner> options[] = {
      inputs_option<Keltner>,
      window_option<Keltner>,
      outputs_option<Keltner>,
      {"multiple", OptionType::Number, {}, 2.0, [](const Keltner& t) -> OptionValue {
         return t.multiple();
       }}};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "bands";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view writes = "middle, upper, lower";
  static constexpr std::string_view options_note = "window, multiple=2.0";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "EMA ± multiple · ATR: first";
  static constexpr std::string_view state =
      "size window, f64 multiple, then the `Ema` and the `Atr`, each a whole object with its tag";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example =
      "Keltner([\"high\", \"low\", \"close\"], 20, [\"middle\", \"upper\", \"lower\"])";
};

}  // namespace vexal
