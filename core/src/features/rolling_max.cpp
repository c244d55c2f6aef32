#include "features/rolling_max.hpp"

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<RollingMax, VexalError> RollingMax::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return RollingMax(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

template class WindowedState<RollingMax, 1>;
template class Stepped<RollingMax, 1, 1, 1>;

}  // namespace vexal
