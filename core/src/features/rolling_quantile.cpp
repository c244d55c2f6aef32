#include "features/rolling_quantile.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "state_limit.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<RollingQuantile, VexalError> RollingQuantile::create(Names inputs, std::size_t window,
                                                                   Names outputs, double q) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window),
                        require(q >= 0.0 && q <= 1.0, "q must be in [0, 1]")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  if (auto claimed = StateLimit::claim(window * sizeof(double)); !claimed) {
    return std::unexpected(std::move(claimed.error()));
  }
  Scratch scratch(static_cast<double*>(::operator new(window * sizeof(double), std::nothrow)));
  if (!scratch) return invalid_input("window is too large");
  return RollingQuantile(std::move(inputs), window, std::move(outputs), std::move(*buffers), q,
                         std::move(scratch));
}

double RollingQuantile::select(std::size_t n) {
  double* sorted = scratch_.get();
  const double h = static_cast<double>(n - 1) * q_;
  const double below = std::floor(h);
  const auto lo = static_cast<std::size_t>(below);
  std::nth_element(sorted, sorted + lo, sorted + n);
  const double a = sorted[lo];
  // Everything after the selected element is no smaller than it.
  const double b = lo + 1 < n ? *std::min_element(sorted + lo + 1, sorted + n) : a;
  const double t = h - below;
  const double diff = b - a;
  return t >= 0.5 ? b - diff * (1.0 - t) : a + diff * t;
}

template class WindowedState<RollingQuantile, 1>;
template class Stepped<RollingQuantile, 1, 1, 1>;

}  // namespace vexal
