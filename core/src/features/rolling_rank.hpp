#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// The newest value's rank within its window of `window` bars as a fraction
// of the window: (below + (equal + 1) / 2) / w, with `below` the values
// smaller than it and `equal` the others equal to it, so ties share the
// average of their ranks. 1 is the window's largest. An absent value spoils
// the windows holding it.
class RollingRank final : public Stepped<RollingRank, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingRank";

  [[nodiscard]] static std::expected<RollingRank, VexalError> create(Names inputs, std::size_t window,
                                                                     Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return RollingRank(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  // value(i) is the window's i-th value from the oldest; the newest is ranked.
  template <class Value>
  [[nodiscard]] static double rank(std::size_t w, Value&& value) {
    const double newest = value(w - 1);
    std::size_t below = 0;
    std::size_t equal = 0;
    for (std::size_t i = 0; i + 1 < w; ++i) {
      const double v = value(i);
      below += v < newest ? 1 : 0;
      equal += v == newest ? 1 : 0;
    }
    const double average = static_cast<double>(below) + static_cast<double>(equal + 2) / 2.0;
    return average / static_cast<double>(w);
  }

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) {
      const double* oldest = windows[0].window_of(t);
      return rank(window(), [&](std::size_t i) { return oldest[i]; });
    });
  }
};

template <>
struct Describe<RollingRank> : Described<RollingRank> {
  static constexpr std::string_view summary =
      "Percentile rank of the newest value of inputs[0] within its ``window`` bars: (below + "
      "(equal + 1) / 2) / window, below counting the smaller values and equal the others equal "
      "to it (ties take their average rank), as pandas' ``rolling(window).rank(pct=True)``. First value at "
      "bar ``window`` - 1.";
  static constexpr Option<RollingRank> options[] = {inputs_option<RollingRank>, window_option<RollingRank>,
                                                    outputs_option<RollingRank>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingRank([\"close\"], 20, [\"rank\"])";
};

}  // namespace vexal
