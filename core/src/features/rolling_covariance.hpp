#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "columns/window_sums.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Sample covariance of the first two inputs over the last `window` pairs, in
// two passes: the means, then Σ (xᵢ − x̄)(yᵢ − ȳ) / (w − 1). A window where
// either column has an absent value has no value.
class RollingCovariance final : public Stepped<RollingCovariance, 2, 2, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingCovariance";

  [[nodiscard]] static std::expected<RollingCovariance, VexalError> create(Names inputs, std::size_t window,
                                                                           Names outputs) {
    if (auto failure = first_failure(inputs_contain(inputs, 2, "x and y"), outputs_not_empty(outputs),
                                     window_at_least(window, 2)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window), reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return RollingCovariance(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  // Sxy over w − 1, from the windows' co-moments.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto m = co_moments_by_bar(windows[0], windows[1], window(), n);
    const auto divisor = static_cast<double>(window() - 1);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t) && windows[1].complete(t)) {
        out[0].set(t, m.sxy[t] / divisor);
      } else {
        out[0].set_absent(t);
      }
    }
  }
};

template <>
struct Describe<RollingCovariance> : Described<RollingCovariance> {
  static constexpr std::string_view summary =
      "Sample covariance of inputs [x, y] over ``window`` bars: sum((x[i] - mean_x) * (y[i] - "
      "mean_y)) / (window - 1), from the window means (ddof 1, as pandas' ``rolling(window).cov``). First "
      "value at bar ``window`` - 1.";
  static constexpr Option<RollingCovariance> options[] = {
      inputs_option<RollingCovariance>, window_option<RollingCovariance>, outputs_option<RollingCovariance>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view reads = "x, y";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values x, values y";
  static constexpr std::string_view example = "RollingCovariance([\"open\", \"close\"], 20, [\"cov\"])";
};

}  // namespace vexal
