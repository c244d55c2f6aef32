#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "composite.hpp"
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
class ChaikinOscillator final : public Composite<ChaikinOscillator, 4, 1, OptionalValue> {
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
    carried_.reset();
    for (Ema& e : emas_) e.reset();
  }
  // Tag, names, the two periods, the line's total, then each average whole.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.size(fast());
    out.size(slow());
    out.value(carried_);
    for (const Ema& e : emas_) e.save(out);
  }
  [[nodiscard]] static std::expected<ChaikinOscillator, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t fast = in.size("fast");
    const std::size_t slow = in.size("slow");
    const OptionalValue total = in.value("total");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), fast, slow));
    if (!made) return in.failure();
    made->carried_ = total;
    for (Ema& average : made->emas_) {
      if (auto loaded = load_ema(in, snapshot_tag, average.window(), average); !loaded)
        return std::unexpected(std::move(loaded.error()));
    }
    return in.result(std::move(*made));
  }

 private:
  ChaikinOscillator(Names inputs, Names outputs, std::array<Ema, 2> emas)
      : Composite(std::move(inputs), std::move(outputs)), emas_(std::move(emas)) {}

  // `total`, the accumulation/distribution line, is carried; each average
  // runs over the whole of it.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, OptionalValue& total) {
    const auto line = f.map(
        [&total](auto... bar) {
          total = AdLine::next_total(total, AdLine::flow(std::array{bar...}));
          return total;
        },
        f.input(0), f.input(1), f.input(2), f.input(3));
    const auto fast = f.through(emas_[0], line);
    const auto slow = f.through(emas_[1], line);
    f.emit_map(0, difference, fast, slow);
  }

  [[nodiscard]] static OptionalValue difference(const OptionalValue& fast, const OptionalValue& slow) {
    if (!fast || !slow) return std::nullopt;
    return *fast - *slow;
  }

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
