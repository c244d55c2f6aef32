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
#include "window_extremes.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Donchian channel over the last `window` bars of high and low: upper the
// highest high, lower the lowest low, middle (upper + lower) / 2. A bar
// that is incomplete or has its high below its low spoils the windows
// holding it.
class Donchian final : public Windowed<Donchian, 2, 2> {
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

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 2);
    require_values(out, 3);
    std::vector<Entries> terms(n);
    for (std::size_t t = 0; t < n; ++t) terms[t] = entries(bar_at<2>(in, t));
    const ChunkWindow highs(buffer(0), n, [&](std::size_t t) { return terms[t][0]; });
    const ChunkWindow lows(buffer(1), n, [&](std::size_t t) { return terms[t][1]; });
    const std::vector<double> upper = by_bar(highs, window(), n, window_highest);
    const std::vector<double> lower = by_bar(lows, window(), n, window_lowest);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(highs, t) && lows.complete(t)) {
        set_row(out, t, channel(upper[t], lower[t]));
      } else {
        set_row(out, t, {std::nullopt, std::nullopt, std::nullopt});
      }
    }
    highs.store(buffer(0));
    lows.store(buffer(1));
  }

 private:
  friend Windowed;
  using Windowed::Windowed;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    if (!TrueRange::valid_range(values[0], values[1])) return {std::nullopt, std::nullopt};
    return {values[0], values[1]};
  }

  [[nodiscard]] static UpdateResult channel(double upper, double lower) {
    return {upper, lower, (upper + lower) / 2.0};
  }

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) {
    const auto h = complete_run(buffer(0));
    const auto l = complete_run(buffer(1));
    if (!h || !l) return {std::nullopt, std::nullopt, std::nullopt};
    return channel(highest(*h), lowest(*l));
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
