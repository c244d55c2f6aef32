#pragma once

#include <algorithm>
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
#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"
#include "value_buffer.hpp"

namespace vexal {

// Ichimoku's lines as of the bar they are computed: tenkan, kijun and
// senkou B the midpoints (highest high + lowest low) / 2 of the last
// `tenkan`, `kijun` and `senkou_b` bars, senkou A the mean of tenkan and
// kijun. The chart draws the two spans `kijun` bars ahead; they are given
// here at the bar whose data make them, so nothing reads the future, and
// the lagging span (a close drawn back) is not a feature one can stream.
// A bar that is incomplete or has its high below its low spoils the
// windows holding it.
class Ichimoku final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Ichimoku";

  [[nodiscard]] static std::expected<Ichimoku, VexalError> create(Names inputs, Names outputs,
                                                                  std::size_t tenkan = 9,
                                                                  std::size_t kijun = 26,
                                                                  std::size_t senkou_b = 52) {
    if (auto failure = first_failure(inputs_contain(inputs, 2, "high and low"),
                                     outputs_exactly(outputs, 4, "[tenkan, kijun, senkou_a, senkou_b]"),
                                     require(tenkan != 0, "tenkan must be non-zero"),
                                     require(kijun != 0, "kijun must be non-zero"),
                                     require(senkou_b != 0, "senkou_b must be non-zero")))
      return *failure;
    const std::size_t longest = std::max({tenkan, kijun, senkou_b});
    auto highs = reserve_window(longest);
    if (!highs) return std::unexpected(std::move(highs.error()));
    auto lows = reserve_window(longest);
    if (!lows) return std::unexpected(std::move(lows.error()));
    return Ichimoku(std::move(inputs), std::move(outputs), tenkan, kijun, senkou_b, std::move(*highs),
                    std::move(*lows));
  }

  [[nodiscard]] std::size_t tenkan() const { return tenkan_; }
  [[nodiscard]] std::size_t kijun() const { return kijun_; }
  [[nodiscard]] std::size_t senkou_b() const { return senkou_b_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return highs_.capacity() - 1; }
  [[nodiscard]] std::size_t work_per_bar() const override { return tenkan_ + kijun_ + senkou_b_; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, tenkan_, kijun_, senkou_b_));
  }
  void reset() override {
    highs_.clear();
    lows_.clear();
  }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 2);
    push(values[0], values[1]);
    return lines();
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 2);
    const bool valid = TrueRange::valid_range(values[0], values[1]);
    const auto high = highs_.push_back_undoable(valid ? values[0] : std::nullopt);
    const auto low = lows_.push_back_undoable(valid ? values[1] : std::nullopt);
    const UpdateResult result = lines();
    lows_.undo(low);
    highs_.undo(high);
    return result;
  }

  // Tag, names, the three periods, then the highs and the lows (up to the
  // longest period each).
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.size(tenkan_);
    out.size(kijun_);
    out.size(senkou_b_);
    out.values(highs_);
    out.values(lows_);
  }
  [[nodiscard]] static std::expected<Ichimoku, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t tenkan = in.size("tenkan");
    const std::size_t kijun = in.size("kijun");
    const std::size_t senkou_b = in.size("senkou_b");
    auto made =
        in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), tenkan, kijun, senkou_b));
    if (!made) return in.failure();
    in.values_into(made->highs_, "highs");
    in.values_into(made->lows_, "lows");
    if (in.ok() && made->highs_.size() != made->lows_.size())
      in.fail("Ichimoku holds windows of different lengths");
    return in.result(std::move(*made));
  }

 private:
  Ichimoku(Names inputs, Names outputs, std::size_t tenkan, std::size_t kijun, std::size_t senkou_b,
           ValueBuffer highs, ValueBuffer lows)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        tenkan_(tenkan),
        kijun_(kijun),
        senkou_b_(senkou_b),
        highs_(std::move(highs)),
        lows_(std::move(lows)) {}

  void push(OptionalValue high, OptionalValue low) {
    const bool valid = TrueRange::valid_range(high, low);
    highs_.push_back(valid ? high : std::nullopt);
    lows_.push_back(valid ? low : std::nullopt);
  }

  // (highest high + lowest low) / 2 of the last `period` bars, oldest first.
  [[nodiscard]] OptionalValue midpoint(std::size_t period) const {
    const std::size_t size = highs_.size();
    if (size < period) return std::nullopt;
    const OptionalValue& first_high = highs_[size - period];
    if (!first_high) return std::nullopt;
    double highest = *first_high;
    double lowest = *lows_[size - period];
    for (std::size_t i = size - period + 1; i < size; ++i) {
      if (!highs_[i]) return std::nullopt;
      highest = std::max(highest, *highs_[i]);
      lowest = std::min(lowest, *lows_[i]);
    }
    return (highest + lowest) / 2.0;
  }

  [[nodiscard]] UpdateResult lines() const {
    const OptionalValue conversion = midpoint(tenkan_);
    const OptionalValue base = midpoint(kijun_);
    const OptionalValue lead_a =
        conversion && base ? OptionalValue((*conversion + *base) / 2.0) : std::nullopt;
    return {conversion, base, lead_a, midpoint(senkou_b_)};
  }

  std::size_t tenkan_;
  std::size_t kijun_;
  std::size_t senkou_b_;
  ValueBuffer highs_;
  ValueBuffer lows_;
};

template <>
struct Describe<Ichimoku> : Described<Ichimoku> {
  static constexpr std::string_view summary =
      "Ichimoku lines. inputs: [high, low]; outputs: [tenkan, kijun, senkou_a, senkou_b]. tenkan, "
      "kijun and senkou_b = (highest high + lowest low) / 2 over the last ``tenkan``, ``kijun`` "
      "and ``senkou_b`` bars, senkou_a = (tenkan + kijun) / 2. The spans are given at the bar "
      "they are computed, with no shift into the future (a chart draws them ``kijun`` bars "
      "ahead: shift them yourself to draw one); the lagging span, a later close, is not given. "
      "Each line is first present once its window is full, the last at bar ``senkou_b`` - 1.";
  static constexpr Option<Ichimoku> options[] = {
      inputs_option<Ichimoku>,
      outputs_option<Ichimoku>,
      {"tenkan", OptionType::Count, 9, {}, [](const Ichimoku& t) -> OptionValue { return t.tenkan(); }},
      {"kijun", OptionType::Count, 26, {}, [](const Ichimoku& t) -> OptionValue { return t.kijun(); }},
      {"senkou_b", OptionType::Count, 52, {}, [](const Ichimoku& t) -> OptionValue { return t.senkou_b(); }}};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "trend";
  static constexpr std::string_view reads = "high, low";
  static constexpr std::string_view writes = "tenkan, kijun, senkou_a, senkou_b";
  static constexpr std::string_view options_note = "tenkan=9, kijun=26, senkou_b=52";
  static constexpr std::string_view warm_up = "max(tenkan, kijun, senkou_b) − 1";
  static constexpr std::string_view talib = "MIDPRICE per line: first";
  static constexpr std::string_view state =
      "size tenkan, size kijun, size senkou_b, values highs, values lows (the longest period each)";
  static constexpr std::string_view example =
      "Ichimoku([\"high\", \"low\"], [\"tenkan\", \"kijun\", \"senkou_a\", \"senkou_b\"])";
};

}  // namespace vexal
