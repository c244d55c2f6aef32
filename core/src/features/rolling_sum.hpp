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
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Sum of the first input over the last `window` bars, added oldest to
// newest from 0.0 every bar, so nothing drifts as a running total would. An
// absent value spoils the windows holding it.
class RollingSum final : public Windowed<RollingSum, 1, 1> {
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

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
    const std::vector<double> sums = sums_by_bar(chunk, window(), n);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(chunk, t)) {
        out[0].set(t, sums[t]);
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    chunk.store(buffer(0));
  }

 private:
  friend Windowed;
  using Windowed::Windowed;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) const {
    if (!buffer(0).full()) return {std::nullopt};
    return {sum_if_complete(buffer(0))};
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
