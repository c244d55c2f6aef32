#include "scalers/rolling_zscore.hpp"

#include <cmath>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "tools/rolling.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<RollingZScore, VexalError> RollingZScore::create(Names inputs, std::size_t window,
                                                               Names outputs) {
  if (auto failure =
          first_failure(inputs_exactly(inputs, 1),
                        require(window >= 2, "window must be >= 2 (need at least 2 values for std)"),
                        outputs_not_empty(outputs)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return RollingZScore(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

template class WindowedState<RollingZScore, 1>;
template class Stepped<RollingZScore, 1, 1, 1>;

}  // namespace vexal
