#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/ad_line.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "window_stats.hpp"

namespace vexal {

// Chaikin money flow over the last `window` bars: Σ flow / Σ v, with each
// bar's money flow volume AdLine's, ((c − l) − (h − c)) / (h − l) · v (0 on
// a flat bar). Reads high, low, close, volume. A bar that is incomplete, has
// its high below its low or a negative volume spoils the windows holding
// it; a window without volume has no value.
class Cmf final : public Stepped<Cmf, 2, 4, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Cmf";
  static constexpr std::array<std::string_view, 2> buffer_labels{"flows", "volumes"};

  [[nodiscard]] static std::expected<Cmf, VexalError> create(Names inputs, std::size_t window,
                                                             Names outputs) {
    if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, close, and volume"),
                                     outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window), reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Cmf(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

 private:
  friend Stepped;
  using Stepped::Stepped;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    const OptionalValue flow = AdLine::flow(values);
    if (!flow) return {std::nullopt, std::nullopt};
    return {flow, values[3]};
  }

  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    write_ratio_of_sums(windows[0], windows[1], window(), n, out[0]);
  }
};

template <>
struct Describe<Cmf> : Described<Cmf> {
  static constexpr std::string_view summary =
      "Chaikin money flow. inputs: [high, low, close, volume]. sum(((close - low) - (high - "
      "close)) / (high - low) * volume) / sum(volume) over ``window`` bars, a bar with high = "
      "low adding 0 to the first sum. NaN while a window holds no volume. The first value is at "
      "bar ``window`` - 1.";
  static constexpr Option<Cmf> options[] = {inputs_option<Cmf>, window_option<Cmf>, outputs_option<Cmf>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volume";
  static constexpr std::string_view reads = "high, low, close, volume";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values flows, values volumes";
  static constexpr std::string_view example =
      "Cmf([\"high\", \"low\", \"close\", \"volume\"], 20, [\"cmf\"])";
};

}  // namespace vexal
