#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Money flow index over the last `window` changes of the typical price
// tp = (h + l + c) / 3: 100 · P / (P + N), P the sum of tp · v over the bars
// whose tp rose from the bar before, N over those whose tp fell; a change
// within 1e-14 · (|tp| + |tp₋₁|) is none. Reads
// high, low, close, volume and keeps the last `window` + 1 typical prices
// and volumes. A bar that is incomplete, has its high below its low or a
// negative volume spoils the windows holding it; a window without flow has
// no value.
class Mfi final : public Stepped<Mfi, 2, 4, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Mfi";
  static constexpr std::array<std::string_view, 2> buffer_labels{"typical prices", "volumes"};

  [[nodiscard]] static std::expected<Mfi, VexalError> create(Names inputs, std::size_t window,
                                                             Names outputs) {
    if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, close, and volume"),
                                     outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window, 1), reserve_window(window, 1));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Mfi(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  // `window` changes need `window` + 1 bars.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }

 private:
  friend Stepped;
  using Stepped::Stepped;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    const OptionalValue& close = values[2];
    const OptionalValue& volume = values[3];
    if (!TrueRange::valid_range(values[0], values[1]) || !close || !volume || !(*volume >= 0.0)) {
      return {std::nullopt, std::nullopt};
    }
    return {(*values[0] + *values[1] + *close) / 3.0, volume};
  }

  static constexpr double kTie = 1e-14;

  // The one formula both paths use, over the w + 1 oldest-first values.
  template <class Typical, class Volume>
  [[nodiscard]] static OptionalValue index_of(std::size_t w, Typical&& tp, Volume&& volume) {
    double rising = 0.0;
    double falling = 0.0;
    for (std::size_t i = 1; i <= w; ++i) {
      const double price = tp(i);
      const double previous = tp(i - 1);
      const double change = price - previous;
      // Typical prices that differ only by the rounding of (h + l + c) / 3
      // are equal, as in TA-Lib.
      const double tie = kTie * (std::fabs(price) + std::fabs(previous));
      const double flow = price * volume(i);
      if (change > tie) {
        rising += flow;
      } else if (change < -tie) {
        falling += flow;
      }
    }
    const double total = rising + falling;
    if (total == 0.0) return std::nullopt;
    return 100.0 * (rising / total);
  }

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    // Both entries of a bar are present or absent together.
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) {
      const double* tp = windows[0].window_of(t);
      const double* v = windows[1].window_of(t);
      return index_of(window(), [&](std::size_t i) { return tp[i]; }, [&](std::size_t i) { return v[i]; });
    });
  }
};

template <>
struct Describe<Mfi> : Described<Mfi> {
  static constexpr std::string_view summary =
      "Money flow index. inputs: [high, low, close, volume]. 100 * P / (P + N) over the last "
      "``window`` bars, with the typical price tp = (high + low + close) / 3, P the sum of tp * "
      "volume over the bars whose tp rose from the bar before and N over those whose tp fell; "
      "a change of at most 1e-14 * (|tp| + |previous tp|), the rounding of the typical price, "
      "counts as none, as in TA-Lib. "
      "NaN while a window holds no flow (TA-Lib writes 0 there). The first value is at bar "
      "``window``; TA-Lib's MFI agrees from its first value (within 1e-12: it keeps running "
      "sums).";
  static constexpr Option<Mfi> options[] = {inputs_option<Mfi>, window_option<Mfi>, outputs_option<Mfi>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volume";
  static constexpr std::string_view reads = "high, low, close, volume";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "MFI: first";
  static constexpr std::string_view state =
      "size window, values typical prices, values volumes (≤ window + 1 each)";
  static constexpr std::string_view example =
      "Mfi([\"high\", \"low\", \"close\", \"volume\"], 14, [\"mfi\"])";
};

}  // namespace vexal
