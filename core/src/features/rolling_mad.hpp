#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "columns/window_spreads.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Mean absolute deviation of the first input around its window mean:
// Σ |xᵢ − m| / w, with m the window's mean, both sums taken oldest to
// newest from 0.0. An absent value spoils the windows holding it.
class RollingMad final : public Stepped<RollingMad, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingMad";

  [[nodiscard]] static std::expected<RollingMad, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return RollingMad(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const std::size_t w = window();
    const auto mean = means_by_bar(windows[0], w, n);
    const auto deviations = abs_deviations_by_bar(windows[0], w, n, mean);
    const auto size = static_cast<double>(w);
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) { return deviations[t] / size; });
  }
};

template <>
struct Describe<RollingMad> : Described<RollingMad> {
  static constexpr std::string_view summary =
      "Rolling mean absolute deviation of inputs[0] around its window mean over ``window`` bars: "
      "sum(|x[i] - mean|) / window, mean = sum(x[i]) / window. First value at bar ``window`` - 1.";
  static constexpr Option<RollingMad> options[] = {inputs_option<RollingMad>, window_option<RollingMad>,
                                                   outputs_option<RollingMad>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingMad([\"close\"], 20, [\"mad\"])";
};

}  // namespace vexal
