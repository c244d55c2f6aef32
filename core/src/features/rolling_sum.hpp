#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Sum of the first input over the last `window` bars, added oldest to
// newest from 0.0 every bar, so nothing drifts as a running total would. An
// absent value spoils the windows holding it.
class RollingSum final : public Stepped<RollingSum, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingSum";

  [[nodiscard]] static std::expected<RollingSum, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return RollingSum(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto sums = sums_by_bar(windows[0], window(), n);
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) { return sums[t]; });
  }
};

template <>
struct Describe<RollingSum> : Described<RollingSum> {
  static constexpr std::string_view summary =
      "Rolling sum of inputs[0] over ``window`` bars, added oldest to newest from 0.0 each bar; "
      "pandas' ``rolling(window).sum()``. First value at bar ``window`` - 1.";
  static constexpr Option<RollingSum> options[] = {inputs_option<RollingSum>, window_option<RollingSum>,
                                                   outputs_option<RollingSum>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingSum([\"volume\"], 20, [\"volume_20\"])";
};

}  // namespace vexal
