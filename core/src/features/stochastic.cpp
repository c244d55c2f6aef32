#include "features/stochastic.hpp"

#include "columns/window_by_bar.hpp"
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

OptionalValue Stochastic::raw_k_of(double close, double highest_high, double lowest_low) {
  const double range = highest_high - lowest_low;
  if (range == 0.0) return std::nullopt;
  return 100.0 * ((close - lowest_low) / range);
}

template class WindowedState<Stochastic, 4>;
template class Stepped<Stochastic, 4, 3, 2, 2>;

}  // namespace vexal
