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
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Chaikin money flow over the last `window` bars: Σ flow / Σ v, with each
// bar's money flow volume AdLine's, ((c − l) − (h − c)) / (h − l) · v (0 on
// a flat bar). Reads high, low, close, volume. A bar that is incomplete, has
// its high below its low or a negative volume spoils the windows holding
// it; a window without volume has no value.
class Cmf final : public Windowed<Cmf, 2, 4> {
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

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 4);
    require_values(out, 1);
    std::vector<Entries> terms(n);
    for (std::size_t t = 0; t < n; ++t) terms[t] = entries(bar_at<4>(in, t));
    const std::size_t w = window();
    // Both entries of a bar are present or absent together.
    const ChunkWindow flows(buffer(0), n, [&](std::size_t t) { return terms[t][0]; });
    const ChunkWindow volumes(buffer(1), n, [&](std::size_t t) { return terms[t][1]; });
    const std::vector<double> flow_sums = sums_by_bar(flows, w, n);
    const std::vector<double> volume_sums = sums_by_bar(volumes, w, n);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(flows, t) && volume_sums[t] != 0.0) {
        out[0].set(t, flow_sums[t] / volume_sums[t]);
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    flows.store(buffer(0));
    volumes.store(buffer(1));
  }

 private:
  friend Windowed;
  using Windowed::Windowed;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    const OptionalValue flow = AdLine::flow(values);
    if (!flow) return {std::nullopt, std::nullopt};
    return {flow, values[3]};
  }

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) {
    if (!buffer(0).full()) return {std::nullopt};
    const OptionalValue flow = sum_if_complete(buffer(0));
    const OptionalValue volume = sum_if_complete(buffer(1));
    if (!flow || !volume || *volume == 0.0) return {std::nullopt};
    return {*flow / *volume};
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
