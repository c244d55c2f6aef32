#include "features/rolling_quantile.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "columns/chunk_window.hpp"
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

UpdateResult RollingQuantile::evaluate(std::span<const OptionalValue>) {
  const auto run = complete_run(buffer(0));
  if (!run) return {std::nullopt};
  const std::size_t n = run->size();
  double* sorted = scratch_.get();
  for (std::size_t i = 0; i < n; ++i) {
    // Selection needs an ordering, which NaN breaks; numpy answers NaN.
    if (std::isnan((*run)[i])) return {std::numeric_limits<double>::quiet_NaN()};
    sorted[i] = (*run)[i];
  }
  return {select(n)};
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

void RollingQuantile::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                     std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const std::size_t w = window();
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  for (std::size_t t = 0; t < n; ++t) {
    if (!complete_at(chunk, t)) {
      out[0].set_absent(t);
      continue;
    }
    const double* run = chunk.window_of(t);
    if (std::any_of(run, run + w, [](double v) { return std::isnan(v); })) {
      out[0].set(t, std::numeric_limits<double>::quiet_NaN());
      continue;
    }
    std::copy(run, run + w, scratch_.get());
    out[0].set(t, select(w));
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
