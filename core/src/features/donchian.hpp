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
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

// Donchian channel over the last `window` bars of high and low: upper the
// highest high, lower the lowest low, middle (upper + lower) / 2. A bar
// that is incomplete or has its high below its low spoils the windows
// holding it.
class Donchian final : public Stepped<Donchian, 2, 2, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "Donchian";
  static constexpr std::array<std::string_view, 2> buffer_labels{"highs", "lows"};

  [[nodiscard]] static std::expected<Donchian, VexalError> create(Names inputs, std::size_t window,
                                                                  Names outputs) {
    if (auto failure =
            first_failure(inputs_contain(inputs, 2, "high and low"),
                          outputs_exactly(outputs, 3, "[upper, lower, middle]"), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window), reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Donchian(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    if (!TrueRange::valid_range(values[0], values[1])) return {std::nullopt, std::nullopt};
    return {values[0], values[1]};
  }

  [[nodiscard]] static UpdateResult channel(double upper, double lower) {
    return {upper, lower, (upper + lower) / 2.0};
  }

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto upper = by_bar(windows[0], window(), n, highest_kernel);
    const auto lower = by_bar(windows[1], window(), n, lowest_kernel);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t) && windows[1].complete(t)) {
        set_row(out, t, channel(upper[t], lower[t]));
      } else {
        set_row(out, t, {std::nullopt, std::nullopt, std::nullopt});
      }
    }
  }
};

template <>
struct Describe<Donchian> : Described<Donchian> {
  static constexpr std::string_view summary =
      "Donchian channel. inputs: [high, low]; outputs: [upper, lower, middle]. upper = the "
      "highest high and lower = the lowest low of ``window`` bars, middle = (upper + lower) / 2.";
  static constexpr Option<Donchian> options[] = {inputs_option<Donchian>, window_option<Donchian>,
                                                 outputs_option<Donchian>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "bands";
  static constexpr std::string_view reads = "high, low";
  static constexpr std::string_view writes = "upper, lower, middle";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values highs, values lows";
  static constexpr std::string_view example =
      "Donchian([\"high\", \"low\"], 20, [\"upper\", \"lower\", \"middle\"])";
};

}  // namespace vexal
