#include "features/rolling_min.hpp"

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<RollingMin, VexalError> RollingMin::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return RollingMin(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

template class WindowedState<RollingMin, 1>;
template class Stepped<RollingMin, 1, 1, 1>;

}  // namespace vexal
