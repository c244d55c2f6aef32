#pragma once

#include <cmath>
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
#include "features/wma.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Hull moving average of the first input: Wma(root) of the raw line
// 2 · Wma(half) − Wma(window), with half = ⌊window / 2⌋ and root =
// ⌊√window⌋, every Wma Wma's own arithmetic. The half and full averages
// read the same window of the last `window` values; the raw line keeps its
// last `root` values. An absent value spoils the windows holding it.
class Hma final : public Stepped<Hma, 2, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Hma";
  static constexpr std::array<std::string_view, 2> buffer_labels{"window values", "raw values"};

  [[nodiscard]] static std::expected<Hma, VexalError> create(Names inputs, std::size_t window,
                                                             Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_at_least(window, 2)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window), reserve_window(root_of(window)));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Hma(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  [[nodiscard]] std::size_t warm_up_period() const override { return window() + root_of(window()) - 2; }

 private:
  friend Stepped;
  using Stepped::Stepped;

  // The raw line 2 · Wma(w / 2) − Wma(w) from each full window of values,
  // then its Wma over ⌊√w⌋ bars (the second buffer, a stage).
  template <class Window, class Stages>
  void step(const Windows<Window>& windows, Stages& stages, std::span<const ColumnIn>,
            std::span<const ColumnOut> out, std::size_t n) const {
    const std::size_t w = window();
    auto line = per_bar<OptionalValue>(windows[0]);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t)) {
        const double* oldest = windows[0].window_of(t);
        line[t] = raw_of(w, [&](std::size_t i) { return oldest[i]; });
      }
    }
    const auto& raws = stages.stage(1, line);
    const std::size_t root = root_of(w);
    set_where_complete(raws, n, out[0], [&](std::size_t t) {
      const double* oldest = raws.window_of(t);
      return Wma::weighted_mean(root, [&](std::size_t i) { return oldest[i]; });
    });
  }

  // ⌊√w⌋, exactly.
  [[nodiscard]] static std::size_t root_of(std::size_t w) {
    auto root = static_cast<std::size_t>(std::sqrt(static_cast<double>(w)));
    while (root > 1 && root > w / root) --root;
    while (root + 1 <= w / (root + 1)) ++root;
    return root;
  }

  // 2 · Wma(half) − Wma(w) over the w values, value(i) the i-th oldest.
  template <class Value>
  [[nodiscard]] static double raw_of(std::size_t w, Value&& value) {
    const std::size_t half = w / 2;
    const double recent = Wma::weighted_mean(half, [&](std::size_t i) { return value(w - half + i); });
    return 2.0 * recent - Wma::weighted_mean(w, value);
  }
};

template <>
struct Describe<Hma> : Described<Hma> {
  static constexpr std::string_view summary =
      "Hull moving average of inputs[0]: Wma(root) of 2 * Wma(half) - Wma(window), with half = "
      "window // 2 and root = floor(sqrt(window)), each ``Wma`` weighted 1 (the oldest) to its "
      "length (the newest). The first value is at bar ``window`` + root - 2. TA-Lib has no HMA; "
      "the same composition of its WMA agrees from the first value (within 1e-12).";
  static constexpr Option<Hma> options[] = {inputs_option<Hma>, window_option<Hma>, outputs_option<Hma>};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w + isqrt(w) − 2";
  static constexpr std::string_view talib = "WMA composed: first";
  static constexpr std::string_view state = "size window, values window, values raw line (⌊√window⌋)";
  static constexpr std::string_view example = "Hma([\"close\"], 16, [\"hma\"])";
};

}  // namespace vexal
