#include "features/stochastic.hpp"

#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Stochastic, VexalError> Stochastic::create(Names inputs, std::size_t window, Names outputs,
                                                         std::size_t smooth_k, std::size_t smooth_d) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_exactly(outputs, 2, "[k, d]"), window_non_zero(window),
                                   require(smooth_k != 0, "smooth_k must be non-zero"),
                                   require(smooth_d != 0, "smooth_d must be non-zero")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window), reserve_window(smooth_k),
                              reserve_window(smooth_d));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Stochastic(std::move(inputs), window, std::move(outputs), std::move(*buffers), smooth_k, smooth_d);
}

UpdateResult Stochastic::update(std::span<const OptionalValue> values) {
  require_values(values, 3);
  const bool valid = TrueRange::valid_range(values[0], values[1]);
  ValueBuffer& highs = buffer(0);
  ValueBuffer& lows = buffer(1);
  highs.push_back(valid ? values[0] : std::nullopt);
  lows.push_back(valid ? values[1] : std::nullopt);
  OptionalValue raw;
  const OptionalValue close = values[2];
  if (close) {
    const auto h = complete_run(highs);
    const auto l = complete_run(lows);
    if (h && l) {
      const double lowest_low = lowest(*l);
      const double range = highest(*h) - lowest_low;
      if (range != 0.0) raw = 100.0 * ((*close - lowest_low) / range);
    }
  }
  buffer(2).push_back(raw);
  const OptionalValue k = mean_if_complete(buffer(2));
  buffer(3).push_back(k);
  return {k, mean_if_complete(buffer(3))};
}

}  // namespace vexal
