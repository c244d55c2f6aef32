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

UpdateResult RollingZScore::evaluate(std::span<const OptionalValue> values) const {
  const ValueBuffer& window_values = buffer(0);
  if (!window_values.full() || !all_present(window_values)) return {std::nullopt};
  const auto each = [&](auto&& f) { window_values.for_each([&](const OptionalValue& v) { f(*v); }); };
  const SampleMoments m = sample_moments(each, window());
  // A constant window (variance 0) or a non-finite one (NaN) has no scale.
  if (!(m.variance > 0.0)) return {std::nullopt};
  return {(*values[0] - m.mean) / std::sqrt(m.variance)};
}

void RollingZScore::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                   std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t first = chunk.first_full();
  const std::size_t m = n - first;
  std::vector<double> mean(m), variance(m);
  if (m > 0) {
    const double* x = chunk.window_of(first);
    const auto size = static_cast<double>(window());
    window_sums(x, m, window(), mean.data());
    for (std::size_t i = 0; i < m; ++i) mean[i] = mean[i] / size;
    window_square_deviations(x, m, window(), mean.data(), variance.data());
    const auto divisor = static_cast<double>(window() - 1);
    for (std::size_t i = 0; i < m; ++i) variance[i] = variance[i] / divisor;
  }
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t i = t - first;
    if (t >= first && chunk.complete(t) && variance[i] > 0.0) {
      out[0].set(t, (chunk.value(t) - mean[i]) / std::sqrt(variance[i]));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
