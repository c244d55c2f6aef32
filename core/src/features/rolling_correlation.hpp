#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Pearson correlation of the first two inputs over the last `window` pairs,
// in two passes (the means, then the sums of products of deviations) and
// clamped to [−1, 1] against rounding. A window where either column is
// constant has no value.
class RollingCorrelation final : public Stepped<RollingCorrelation, 2, 2, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingCorrelation";

  [[nodiscard]] static std::expected<RollingCorrelation, VexalError> create(Names inputs, std::size_t window,
                                                                            Names outputs);

 private:
  friend Stepped;
  // r from the co-moment sums, absent for a flat window.
  [[nodiscard]] static OptionalValue correlation(double sxx, double syy, double sxy);
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto m = co_moments_by_bar(windows[0], windows[1], window(), n);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t) && windows[1].complete(t)) {
        out[0].set(t, correlation(m.sxx[t], m.syy[t], m.sxy[t]));
      } else {
        out[0].set_absent(t);
      }
    }
  }

  RollingCorrelation(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in rolling_correlation.cpp, where the step's helpers inline.
extern template class WindowedState<RollingCorrelation, 2>;
extern template class Stepped<RollingCorrelation, 2, 2, 1>;

template <>
struct Describe<RollingCorrelation> : Described<RollingCorrelation> {
  static constexpr std::string_view summary =
      "Pearson correlation of inputs [x, y] over ``window`` bars: sxy / sqrt(sxx * syy) from "
      "the deviations from the means; NaN where a column is constant.";
  static constexpr Option<RollingCorrelation> options[] = {inputs_option<RollingCorrelation>,
                                                           window_option<RollingCorrelation>,
                                                           outputs_option<RollingCorrelation>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view reads = "x, y";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "CORREL: first";
  static constexpr std::string_view state = "size window, values x, values y";
  static constexpr std::string_view example = "RollingCorrelation([\"open\", \"close\"], 20, [\"corr\"])";
};

}  // namespace vexal
