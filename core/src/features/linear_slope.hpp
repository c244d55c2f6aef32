#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Ordinary least squares of y (second input) on x (first input) over the last
// `window` pairs: the slope and R², in the order of the two output names.
class LinearSlope final : public Stepped<LinearSlope, 2, 2, 2> {
 public:
  [[nodiscard]] static std::expected<LinearSlope, VexalError> create(Names inputs, std::size_t window,
                                                                     Names outputs);

  static constexpr std::string_view snapshot_tag = "LinearSlope";
  // x in the first buffer, y in the second.
  static constexpr std::array<std::string_view, 2> buffer_labels{"x values", "y values"};
  [[nodiscard]] static std::string uneven_windows(const BufferSet<2>& buffers);

 private:
  friend Stepped;

  using Stepped::Stepped;

  // Least squares of y on x from the windows' co-moments. All x equal: no
  // line to fit (a NaN Sxx is not zero and flows through); a constant y is
  // fitted exactly by slope 0, but explains nothing.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto m = co_moments_by_bar(windows[0], windows[1], window(), n);
    for (std::size_t t = 0; t < n; ++t) {
      if (!complete_at(windows[0], t) || !windows[1].complete(t) || m.sxx[t] == 0.0) {
        out[0].set_absent(t);
        out[1].set_absent(t);
        continue;
      }
      out[0].set(t, m.sxy[t] / m.sxx[t]);
      if (m.syy[t] != 0.0) {
        out[1].set(t, (m.sxy[t] * m.sxy[t]) / (m.syy[t] * m.sxx[t]));
      } else {
        out[1].set_absent(t);
      }
    }
  }
};

// Its driver is compiled once, in linear_slope.cpp, where the step's helpers inline.
extern template class WindowedState<LinearSlope, 2>;
extern template class Stepped<LinearSlope, 2, 2, 2>;

template <>
struct Describe<LinearSlope> : Described<LinearSlope> {
  static constexpr std::string_view summary =
      "Rolling OLS regression: slope and R² of y on x over a sliding window.";
  static constexpr Option<LinearSlope> options[] = {inputs_option<LinearSlope>, window_option<LinearSlope>,
                                                    outputs_option<LinearSlope>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[slope, r2]``, ``NaN`` during warm-up.";
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view reads = "x, y";
  static constexpr std::string_view writes = "slope, r2";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values x, values y (as many as x)";
  static constexpr std::string_view example = "LinearSlope([\"open\", \"close\"], 20, [\"slope\", \"r2\"])";
};

}  // namespace vexal
