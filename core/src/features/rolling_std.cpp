#include "features/rolling_std.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "tools/rolling.hpp"

namespace vexal {

std::expected<RollingStd, VexalError> RollingStd::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_at_least(window, 2)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return RollingStd(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

template class WindowedState<RollingStd, 1>;
template class Stepped<RollingStd, 1, 1, 1>;

}  // namespace vexal
