#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "columns/bar_window.hpp"
#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "saturating.hpp"
#include "transform_base.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Larry Williams' ultimate oscillator. Reads high, low, close. Each bar's
// buying pressure bp = c − min(l, c₋₁) and true range tr = max(h, c₋₁) −
// min(l, c₋₁); aₙ = Σ bp / Σ tr over its last n bars, and the oscillator
// 100 · (4 · a_fast + 2 · a_medium + a_slow) / 7. It keeps the last
// slow + 1 bars and sums each window afresh every bar, oldest to newest. A
// bar that is incomplete or has its high below its low spoils the windows
// holding it; a window without range has no value.
class UltimateOscillator final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "UltimateOscillator";

  [[nodiscard]] static std::expected<UltimateOscillator, VexalError> create(Names inputs, Names outputs,
                                                                            std::size_t fast = 7,
                                                                            std::size_t medium = 14,
                                                                            std::size_t slow = 28) {
    if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                     outputs_not_empty(outputs), require(fast != 0, "fast must be non-zero"),
                                     require(medium > fast, "medium must be > fast"),
                                     require(slow > medium, "slow must be > medium")))
      return *failure;
    auto buffers = all_reserved(reserve_window(slow, 1), reserve_window(slow, 1), reserve_window(slow, 1));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return UltimateOscillator(std::move(inputs), std::move(outputs), std::move(*buffers),
                              {fast, medium, slow});
  }

  [[nodiscard]] std::size_t fast() const { return periods_[0]; }
  [[nodiscard]] std::size_t medium() const { return periods_[1]; }
  [[nodiscard]] std::size_t slow() const { return periods_[2]; }

  // `slow` bars of pressure need `slow` + 1 closes.
  [[nodiscard]] std::size_t warm_up_period() const override { return slow(); }
  [[nodiscard]] std::size_t work_per_bar() const override { return saturating_mul(slow(), 3); }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, fast(), medium(), slow()));
  }
  void reset() override {
    for (ValueBuffer& b : bars_) b.clear();
  }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 3);
    const Bar bar = bar_of(values);
    for (std::size_t i = 0; i < 3; ++i) bars_[i].push_back(bar[i]);
    return this_bar();
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 3);
    const Bar bar = bar_of(values);
    std::array<ValueBuffer::Displaced, 3> displaced;
    for (std::size_t i = 0; i < 3; ++i) displaced[i] = bars_[i].push_back_undoable(bar[i]);
    const UpdateResult result = this_bar();
    for (std::size_t i = 3; i-- > 0;) bars_[i].undo(displaced[i]);
    return result;
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 3);
    require_values(out, 1);
    std::vector<Bar> bars(n);
    for (std::size_t t = 0; t < n; ++t) bars[t] = bar_of(bar_at<3>(in, t));
    const ChunkWindow highs(bars_[0], n, [&](std::size_t t) { return bars[t][0]; });
    const ChunkWindow lows(bars_[1], n, [&](std::size_t t) { return bars[t][1]; });
    const ChunkWindow closes(bars_[2], n, [&](std::size_t t) { return bars[t][2]; });
    step(highs, lows, closes, out[0], n);
    set_absent_from(out, 1, n);
    highs.store(bars_[0]);
    lows.store(bars_[1]);
    closes.store(bars_[2]);
  }

  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    for (const std::size_t p : periods_) out.size(p);
    for (const ValueBuffer& b : bars_) out.values(b);
  }
  [[nodiscard]] static std::expected<UltimateOscillator, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t fast = in.size("fast");
    const std::size_t medium = in.size("medium");
    const std::size_t slow = in.size("slow");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), fast, medium, slow));
    if (!made) return in.failure();
    constexpr std::array<std::string_view, 3> labels{"highs", "lows", "closes"};
    for (std::size_t i = 0; i < 3; ++i) in.values_into(made->bars_[i], labels[i]);
    if (in.ok() &&
        (made->bars_[1].size() != made->bars_[0].size() || made->bars_[2].size() != made->bars_[0].size()))
      in.fail("UltimateOscillator holds windows of different lengths");
    return in.result(std::move(*made));
  }

 private:
  using Bar = std::array<OptionalValue, 3>;

  UltimateOscillator(Names inputs, Names outputs, BufferSet<3> bars, std::array<std::size_t, 3> periods)
      : NamedTransform(std::move(inputs), std::move(outputs)), bars_(std::move(bars)), periods_(periods) {}

  [[nodiscard]] static Bar bar_of(std::span<const OptionalValue> values) {
    if (!TrueRange::valid_range(values[0], values[1]) || !values[2]) return {};
    return {values[0], values[1], values[2]};
  }

  // The one formula both paths use, over the slow + 1 bars kept, bar(i) the
  // i-th oldest as {high, low, close}: each window's sums run oldest to newest.
  template <class BarAt>
  [[nodiscard]] OptionalValue oscillator(BarAt&& bar) const {
    const std::size_t s = slow();
    std::array<double, 3> pressure{0.0, 0.0, 0.0};
    std::array<double, 3> range{0.0, 0.0, 0.0};
    for (std::size_t i = 1; i <= s; ++i) {
      const double previous_close = bar(i - 1)[2];
      const auto [high, low, close] = bar(i);
      const double true_low = std::min(low, previous_close);
      const double bp = close - true_low;
      const double tr = std::max(high, previous_close) - true_low;
      for (std::size_t k = 0; k < 3; ++k) {
        if (i + periods_[k] > s) {
          pressure[k] += bp;
          range[k] += tr;
        }
      }
    }
    if (range[0] == 0.0 || range[1] == 0.0 || range[2] == 0.0) return std::nullopt;
    const double weighted =
        4.0 * (pressure[0] / range[0]) + 2.0 * (pressure[1] / range[1]) + pressure[2] / range[2];
    return 100.0 * (weighted / 7.0);
  }

  // Every bar of a chunk (ChunkWindow views) or the newest one (BarWindow
  // views over the live windows, n = 1). The three entries of a bar are
  // present or absent together, so the highs' window speaks for all three.
  template <class Window>
  void step(const Window& highs, const Window& lows, const Window& closes, ColumnOut out,
            std::size_t n) const {
    for (std::size_t t = 0; t < n; ++t) {
      if (!complete_at(highs, t)) {
        out.set_absent(t);
        continue;
      }
      const double* h = highs.window_of(t);
      const double* l = lows.window_of(t);
      const double* c = closes.window_of(t);
      out.set(t, oscillator([&](std::size_t i) { return std::array<double, 3>{h[i], l[i], c[i]}; }));
    }
  }

  [[nodiscard]] UpdateResult this_bar() {
    double value = 0.0;
    std::uint8_t valid = 0;
    step(BarWindow(bars_[0]), BarWindow(bars_[1]), BarWindow(bars_[2]), ColumnOut{&value, &valid}, 1);
    return {valid != 0 ? OptionalValue(value) : std::nullopt};
  }

  BufferSet<3> bars_;  // highs, lows, closes
  std::array<std::size_t, 3> periods_;
};

template <>
struct Describe<UltimateOscillator> : Described<UltimateOscillator> {
  static constexpr std::string_view summary =
      "Ultimate oscillator. inputs: [high, low, close]. 100 * (4 * a(fast) + 2 * a(medium) + "
      "a(slow)) / 7, a(n) = sum(bp) / sum(tr) over the last n bars, with the buying pressure bp "
      "= close - min(low, previous close) and the true range tr = max(high, previous close) - "
      "min(low, previous close). NaN while a window has no range (TA-Lib leaves that term "
      "out). The first value is at bar ``slow``; TA-Lib's ULTOSC agrees from its first value, "
      "bit for bit on daily SPY.";
  static constexpr Option<UltimateOscillator> options[] = {
      inputs_option<UltimateOscillator>,
      outputs_option<UltimateOscillator>,
      {"fast", OptionType::Count, 7, {}, [](const UltimateOscillator& t) -> OptionValue { return t.fast(); }},
      {"medium",
       OptionType::Count,
       14,
       {},
       [](const UltimateOscillator& t) -> OptionValue { return t.medium(); }},
      {"slow", OptionType::Count, 28, {}, [](const UltimateOscillator& t) -> OptionValue {
         return t.slow();
       }}};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view options_note = "fast=7, medium=14, slow=28";
  static constexpr std::string_view warm_up = "slow";
  static constexpr std::string_view talib = "ULTOSC: first";
  static constexpr std::string_view state =
      "size fast, size medium, size slow, values highs, values lows, values closes (≤ slow + 1 each)";
  static constexpr std::string_view example = "UltimateOscillator([\"high\", \"low\", \"close\"], [\"uo\"])";
};

}  // namespace vexal
