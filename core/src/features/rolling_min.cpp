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

UpdateResult RollingMin::evaluate(std::span<const OptionalValue>) {
  const auto run = complete_run(buffer(0));
  if (!run) return {std::nullopt};
  return {lowest(*run)};
}

void RollingMin::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  write_by_bar(chunk, window(), n, window_lowest, out);
  chunk.store(buffer(0));
}

}  // namespace vexal
