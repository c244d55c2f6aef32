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
  if (inputs.size() != 1) return invalid_input("inputs must contain exactly 1 column");
  if (window < 2) return invalid_input("window must be >= 2 (need at least 2 values for std)");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  auto buffer = reserve_window(window);
  if (!buffer) return std::unexpected(std::move(buffer.error()));
  return RollingZScore(std::move(inputs), window, std::move(outputs), std::move(*buffer));
}

std::unique_ptr<StreamingTransform> RollingZScore::fresh() const {
  return fresh_from(create(inputs_, window_, outputs_));
}

UpdateResult RollingZScore::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  buffer_.push_back(x);
  return {score(x)};
}

UpdateResult RollingZScore::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  const auto displaced = buffer_.push_back_undoable(x);
  const OptionalValue result = score(x);
  buffer_.undo(displaced);
  return {result};
}

std::expected<RollingZScore, VexalError> RollingZScore::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t window = in.size("window");
  auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
  if (!made) return in.failure();
  in.values_into(made->buffer_, "values");
  return in.result(std::move(*made));
}

void RollingZScore::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(window_);
  out.values(buffer_);
}

OptionalValue RollingZScore::score(const OptionalValue& x) const {
  if (!buffer_.full() || !all_present(buffer_)) return std::nullopt;
  const auto each = [&](auto&& f) { buffer_.for_each([&](const OptionalValue& v) { f(*v); }); };
  const SampleMoments m = sample_moments(each, window_);
  // A constant window (variance 0) or a non-finite one (NaN) has no scale.
  if (!(m.variance > 0.0)) return std::nullopt;
  return (*x - m.mean) / std::sqrt(m.variance);
}

void RollingZScore::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                   std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow window(buffer_, n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t first = window.first_full();
  const std::size_t m = n - first;
  std::vector<double> mean(m), variance(m);
  if (m > 0) {
    const double* x = window.window_of(first);
    const auto size = static_cast<double>(window_);
    window_sums(x, m, window_, mean.data());
    for (std::size_t i = 0; i < m; ++i) mean[i] = mean[i] / size;
    window_square_deviations(x, m, window_, mean.data(), variance.data());
    const auto divisor = static_cast<double>(window_ - 1);
    for (std::size_t i = 0; i < m; ++i) variance[i] = variance[i] / divisor;
  }
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t i = t - first;
    if (t >= first && window.complete(t) && variance[i] > 0.0) {
      out[0].set(t, (window.value(t) - mean[i]) / std::sqrt(variance[i]));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  window.store(buffer_);
}

}  // namespace vexal
