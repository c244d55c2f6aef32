#include "features/sma.hpp"

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Sma, VexalError> Sma::create(Names inputs, std::size_t window, Names outputs) {
  if (inputs.empty()) return invalid_input("inputs must not be empty");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  if (window == 0) return invalid_input("window must be non-zero");
  auto buffer = reserve_window(window);
  if (!buffer) return std::unexpected(std::move(buffer.error()));
  return Sma(std::move(inputs), window, std::move(outputs), std::move(*buffer));
}

std::unique_ptr<StreamingTransform> Sma::fresh() const {
  return fresh_from(create(inputs_, window_, outputs_));
}

std::expected<Sma, VexalError> Sma::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t window = in.size("window");
  auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
  if (!made) return in.failure();
  in.values_into(made->buffer_, "window values");
  return in.result(std::move(*made));
}

void Sma::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(window_);
  out.values(buffer_);
}

UpdateResult Sma::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  buffer_.push_back(values[0]);
  return {mean_if_complete(buffer_)};
}

UpdateResult Sma::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const auto displaced = buffer_.push_back_undoable(values[0]);
  const OptionalValue mean = mean_if_complete(buffer_);
  buffer_.undo(displaced);
  return {mean};
}

void Sma::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow window(buffer_, n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t first = window.first_full();
  std::vector<double> sums(n - first);
  if (first < n) window_sums(window.window_of(first), n - first, window_, sums.data());
  const auto size = static_cast<double>(window_);
  for (std::size_t t = 0; t < n; ++t) {
    if (t >= first && window.complete(t)) {
      out[0].set(t, sums[t - first] / size);
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  window.store(buffer_);
}

}  // namespace vexal
