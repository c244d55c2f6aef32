#include "features/linear_slope.hpp"

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<LinearSlope, VexalError> LinearSlope::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 2, "x and y"), window_at_least(window, 2),
                                   outputs_exactly(outputs, 2, "[slope, r2]")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return LinearSlope(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

std::string LinearSlope::uneven_windows(const BufferSet<2>& buffers) {
  return "LinearSlope holds " + std::to_string(buffers[0].size()) + " x values but " +
         std::to_string(buffers[1].size()) + " y values";
}

template class WindowedState<LinearSlope, 2>;
template class Stepped<LinearSlope, 2, 2, 2>;

}  // namespace vexal
