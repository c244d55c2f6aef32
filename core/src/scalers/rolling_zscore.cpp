#include "scalers/rolling_zscore.hpp"

#include <cmath>

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

}  // namespace vexal
