#pragma once

#include <array>
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

// Aroon over `window` bars, read over the last window + 1 highs and lows:
// up = 100 / w · (w − bars since the highest high), down the same with the
// lowest low, and the oscillator 100 / w · (bars since the low − bars since
// the high). Of equal extremes the newest counts, as TA-Lib's AROON takes
// them. A bar that is incomplete or has its high below its low spoils the
// windows holding it.
class Aroon final : public Stepped<Aroon, 2, 2, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "Aroon";
  static constexpr std::array<std::string_view, 2> buffer_labels{"highs", "lows"};

  [[nodiscard]] static std::expected<Aroon, VexalError> create(Names inputs, std::size_t window,
                                                               Names outputs) {
    if (auto failure =
            first_failure(inputs_contain(inputs, 2, "high and low"),
                          outputs_exactly(outputs, 3, "[up, down, oscillator]"), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window, 1), reserve_window(window, 1));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Aroon(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  // The first value reads window + 1 bars.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }

 private:
  friend Stepped;
  using Stepped::Stepped;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    if (!TrueRange::valid_range(values[0], values[1])) return {std::nullopt, std::nullopt};
    return {values[0], values[1]};
  }

  // high(i) and low(i) are the i-th of the window + 1 bars from the oldest.
  template <class High, class Low>
  [[nodiscard]] UpdateResult lines(High&& high, Low&& low) const {
    const std::size_t w = window();
    std::size_t highest = 0;
    std::size_t lowest = 0;
    for (std::size_t i = 1; i <= w; ++i) {
      if (high(i) >= high(highest)) highest = i;
      if (low(i) <= low(lowest)) lowest = i;
    }
    const double factor = 100.0 / static_cast<double>(w);
    const auto since_high = static_cast<double>(w - highest);
    const auto since_low = static_cast<double>(w - lowest);
    return {factor * (static_cast<double>(w) - since_high), factor * (static_cast<double>(w) - since_low),
            factor * (static_cast<double>(highest) - static_cast<double>(lowest))};
  }

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t) && windows[1].complete(t)) {
        const double* h = windows[0].window_of(t);
        const double* l = windows[1].window_of(t);
        set_row(out, t, lines([&](std::size_t i) { return h[i]; }, [&](std::size_t i) { return l[i]; }));
      } else {
        set_row(out, t, {std::nullopt, std::nullopt, std::nullopt});
      }
    }
  }
};

template <>
struct Describe<Aroon> : Described<Aroon> {
  static constexpr std::string_view summary =
      "Aroon. inputs: [high, low]; outputs: [up, down, oscillator]. Over the last ``window`` + 1 "
      "bars, up = 100 / window * (window - bars since the highest high), down = 100 / window * "
      "(window - bars since the lowest low), oscillator = 100 / window * (bars since the low - "
      "bars since the high); of equal extremes the newest counts. First value at bar "
      "``window``; TA-Lib's AROON and AROONOSC agree from it.";
  static constexpr Option<Aroon> options[] = {inputs_option<Aroon>, window_option<Aroon>,
                                              outputs_option<Aroon>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "trend";
  static constexpr std::string_view reads = "high, low";
  static constexpr std::string_view writes = "up, down, oscillator";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "AROON, AROONOSC: first";
  static constexpr std::string_view state = "size window, values highs, values lows (window + 1 each)";
  static constexpr std::string_view example =
      "Aroon([\"high\", \"low\"], 14, [\"aroon_up\", \"aroon_down\", \"aroon_osc\"])";
};

}  // namespace vexal
