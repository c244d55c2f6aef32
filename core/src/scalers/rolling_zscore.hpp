#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <string_view>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Z-score of each bar against the mean and sample standard deviation of the
// last `window` bars, the current one included.
class RollingZScore final : public Stepped<RollingZScore, 1, 1, 1> {
 public:
  [[nodiscard]] static std::expected<RollingZScore, VexalError> create(Names inputs, std::size_t window,
                                                                       Names outputs);

  static constexpr std::string_view snapshot_tag = "RollingZScore";
  static constexpr std::array<std::string_view, 1> buffer_labels{"values"};

 private:
  friend Stepped;

  using Stepped::Stepped;

  // (x − mean) / s with the window's sample moments. A constant window
  // (variance 0) or a non-finite one (NaN) has no scale.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const Window& xs = windows[0];
    const auto mean = means_by_bar(xs, window(), n);
    auto variance = square_deviations_by_bar(xs, window(), n, mean);
    const auto divisor = static_cast<double>(window() - 1);
    for (double& v : variance) v = v / divisor;
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(xs, t) && variance[t] > 0.0) {
        out[0].set(t, (xs.value(t) - mean[t]) / std::sqrt(variance[t]));
      } else {
        out[0].set_absent(t);
      }
    }
  }
};

// Its driver is compiled once, in rolling_zscore.cpp.
extern template class WindowedState<RollingZScore, 1>;
extern template class Stepped<RollingZScore, 1, 1, 1>;

template <>
struct Describe<RollingZScore> : Described<RollingZScore> {
  static constexpr std::string_view summary = "Rolling z-score normalization over a sliding window.";
  static constexpr std::string_view formula =
      "(x[t] - mean) / s over the last ``window`` values, the current one included, with s the "
      "sample standard deviation (ddof 1).";
  static constexpr Option<RollingZScore> options[] = {
      inputs_option<RollingZScore>, window_option<RollingZScore>, outputs_option<RollingZScore>};
  static constexpr std::string_view family = "scalers";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingZScore([\"close\"], 20, [\"z\"])";
};

}  // namespace vexal
