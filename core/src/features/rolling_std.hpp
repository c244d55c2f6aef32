#pragma once

#include <cmath>
#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Sample standard deviation (divisor n − 1) of the first input over the last
// `window` bars, computed in two passes over the window: the mean, then the
// squared deviations from it.
class RollingStd final : public Stepped<RollingStd, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingStd";

  [[nodiscard]] static std::expected<RollingStd, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs);

 private:
  friend Stepped;
  // The window's mean, then its squared deviations, over w − 1.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const std::size_t w = window();
    const auto mean = means_by_bar(windows[0], w, n);
    const auto m2 = square_deviations_by_bar(windows[0], w, n, mean);
    set_where_complete(windows[0], n, out[0],
                       [&](std::size_t t) { return std::sqrt(m2[t] / static_cast<double>(w - 1)); });
  }

  RollingStd(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in rolling_std.cpp, where the step's helpers inline.
extern template class WindowedState<RollingStd, 1>;
extern template class Stepped<RollingStd, 1, 1, 1>;

template <>
struct Describe<RollingStd> : Described<RollingStd> {
  static constexpr std::string_view summary =
      "Sample standard deviation (ddof=1) of inputs[0] over ``window`` bars: sqrt(sum((x - "
      "mean)^2) / (window - 1)).";
  static constexpr Option<RollingStd> options[] = {inputs_option<RollingStd>, window_option<RollingStd>,
                                                   outputs_option<RollingStd>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window (≥ 2, ddof=1)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingStd([\"close\"], 20, [\"std\"])";
};

}  // namespace vexal
