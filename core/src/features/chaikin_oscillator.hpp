#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/ad_line.hpp"
#include "features/ema.hpp"
#include "features/ema_chain.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// The Chaikin oscillator: Ema(fast) − Ema(slow) of the accumulation/
// distribution line (AdLine's total). Each Ema is the library's, seeded with
// the simple average of its first window of the line and seeded again after
// a bar that drops it, so the oscillator is present from bar slow − 1.
class ChaikinOscillator final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "ChaikinOscillator";

  [[nodiscard]] static std::expected<ChaikinOscillator, VexalError> create(Names inputs, Names outputs,
                                                                           std::size_t fast = 3,
                                                                           std::size_t slow = 10) {
    if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, close, and volume"),
                                     outputs_not_empty(outputs), require(fast != 0, "fast must be non-zero"),
                                     require(slow > fast, "slow must be > fast")))
      return *failure;
    // The averages carry the transform's own names, which they never report.
    auto fast_ema = Ema::create(inputs, fast, outputs);
    if (!fast_ema) return std::unexpected(std::move(fast_ema.error()));
    auto slow_ema = Ema::create(inputs, slow, outputs);
    if (!slow_ema) return std::unexpected(std::move(slow_ema.error()));
    return ChaikinOscillator(std::move(inputs), std::move(outputs),
                             {std::move(*fast_ema), std::move(*slow_ema)});
  }

  [[nodiscard]] std::size_t fast() const { return emas_[0].window(); }
  [[nodiscard]] std::size_t slow() const { return emas_[1].window(); }

  [[nodiscard]] std::size_t warm_up_period() const override { return slow() - 1; }
  [[nodiscard]] std::size_t work_per_bar() const override {
    return emas_[0].work_per_bar() + emas_[1].work_per_bar();
  }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, fast(), slow()));
  }
  void reset() override {
    total_.reset();
    for (Ema& e : emas_) e.reset();
  }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 4);
    total_ = AdLine::next_total(total_, AdLine::flow(values));
    const std::span<const OptionalValue> line(&total_, 1);
    return {difference(emas_[0].update(line)[0], emas_[1].update(line)[0])};
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 4);
    const OptionalValue total = AdLine::next_total(total_, AdLine::flow(values));
    const std::span<const OptionalValue> line(&total, 1);
    return {difference(emas_[0].peek(line)[0], emas_[1].peek(line)[0])};
  }
  // The line over the chunk, then each average over the whole of it.
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 4);
    require_values(out, 1);
    ColumnBuffer line(n);
    for (std::size_t t = 0; t < n; ++t) {
      const std::array<OptionalValue, 4> bar{in[0].at(t), in[1].at(t), in[2].at(t), in[3].at(t)};
      total_ = AdLine::next_total(total_, AdLine::flow(bar));
      line.out().set(t, total_);
    }
    std::array<ColumnBuffer, 2> averages;
    for (std::size_t i = 0; i < 2; ++i) {
      averages[i] = ColumnBuffer(n);
      const ColumnIn x = line.in();
      const ColumnOut sink = averages[i].out();
      emas_[i].update_columns(std::span(&x, 1), std::span(&sink, 1), n);
    }
    for (std::size_t t = 0; t < n; ++t) {
      out[0].set(t, difference(averages[0].in().at(t), averages[1].in().at(t)));
    }
    set_absent_from(out, 1, n);
  }

  // Tag, names, the two periods, the line's total, then each average whole.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.size(fast());
    out.size(slow());
    out.value(total_);
    for (const Ema& e : emas_) e.save(out);
  }
  [[nodiscard]] static std::expected<ChaikinOscillator, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t fast = in.size("fast");
    const std::size_t slow = in.size("slow");
    const OptionalValue total = in.value("total");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), fast, slow));
    if (!made) return in.failure();
    made->total_ = total;
    for (Ema& average : made->emas_) {
      if (auto loaded = load_ema(in, snapshot_tag, average.window(), average); !loaded)
        return std::unexpected(std::move(loaded.error()));
    }
    return in.result(std::move(*made));
  }

 private:
  ChaikinOscillator(Names inputs, Names outputs, std::array<Ema, 2> emas)
      : NamedTransform(std::move(inputs), std::move(outputs)), emas_(std::move(emas)) {}

  [[nodiscard]] static OptionalValue difference(const OptionalValue& fast, const OptionalValue& slow) {
    if (!fast || !slow) return std::nullopt;
    return *fast - *slow;
  }

  OptionalValue total_;      // the accumulation/distribution line
  std::array<Ema, 2> emas_;  // fast, slow
};

template <>
struct Describe<ChaikinOscillator> : Described<ChaikinOscillator> {
  static constexpr std::string_view summary =
      "Chaikin oscillator. inputs: [high, low, close, volume]. Ema(fast) - Ema(slow) of the "
      "accumulation/distribution line (``AdLine``), each Ema seeded with the simple average of "
      "its first window of the line, as ``Ema`` is, so the first value is at bar ``slow`` - 1. "
      "TA-Lib's ADOSC seeds both of its EMAs with the first value of the line instead; the two "
      "agree within 1e-9 (relative) once that seed has decayed (from bar 120 for 3/10 on daily "
      "SPY).";
  static constexpr Option<ChaikinOscillator> options[] = {
      inputs_option<ChaikinOscillator>,
      outputs_option<ChaikinOscillator>,
      {"fast", OptionType::Count, 3, {}, [](const ChaikinOscillator& t) -> OptionValue { return t.fast(); }},
      {"slow", OptionType::Count, 10, {}, [](const ChaikinOscillator& t) -> OptionValue {
         return t.slow();
       }}};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volume";
  static constexpr std::string_view reads = "high, low, close, volume";
  static constexpr std::string_view options_note = "fast=3, slow=10";
  static constexpr std::string_view warm_up = "slow − 1";
  static constexpr std::string_view talib = "ADOSC: converges (bar 120)";
  static constexpr std::string_view state =
      "size fast, size slow, value running total, then the fast and slow `Ema`, each a whole "
      "object with its tag";
  static constexpr MissingPolicy missing = MissingPolicy::RestartsTotal;
  static constexpr std::string_view example =
      "ChaikinOscillator([\"high\", \"low\", \"close\", \"volume\"], [\"adosc\"])";
};

}  // namespace vexal
