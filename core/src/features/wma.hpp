#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Weighted moving average of the first input over the last `window` bars,
// the newest weighted `window`, the oldest 1: Σ (i + 1) · xᵢ / (w (w + 1) / 2),
// i counted from the oldest. An absent value spoils the windows holding it.
class Wma final : public Stepped<Wma, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Wma";

  [[nodiscard]] static std::expected<Wma, VexalError> create(Names inputs, std::size_t window,
                                                             Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Wma(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  // The one formula both paths use (and Hma's), summed oldest to newest
  // from 0.0; value(i) is the i-th oldest of the w values.
  template <class Value>
  [[nodiscard]] static double weighted_mean(std::size_t w, Value&& value) {
    double sum = 0.0;
    for (std::size_t i = 0; i < w; ++i) sum += static_cast<double>(i + 1) * value(i);
    const auto size = static_cast<double>(w);
    return sum / (size * (size + 1.0) / 2.0);
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) {
      const double* oldest = windows[0].window_of(t);
      return weighted_mean(window(), [&](std::size_t i) { return oldest[i]; });
    });
  }
};

template <>
struct Describe<Wma> : Described<Wma> {
  static constexpr std::string_view summary =
      "Weighted moving average of inputs[0] over ``window`` bars, weights 1 (the oldest) to "
      "``window`` (the newest): sum((i + 1) * x[i]) / (window * (window + 1) / 2).";
  static constexpr Option<Wma> options[] = {inputs_option<Wma>, window_option<Wma>, outputs_option<Wma>};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "WMA: first";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "Wma([\"close\"], 10, [\"wma\"])";
};

}  // namespace vexal
