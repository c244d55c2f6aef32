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

UpdateResult RollingStd::evaluate(std::span<const OptionalValue>) {
  // The same arithmetic as the rolling tool, so both agree to the bit.
  if (!buffer(0).full()) return {std::nullopt};
  return {std_dev(buffer(0))};
}

// std_dev's two passes, a window per vector lane.
void RollingStd::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const std::size_t w = window();
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const std::vector<double> mean = means_by_bar(chunk, w, n);
  const std::vector<double> m2 = square_deviations_by_bar(chunk, w, n, mean);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(chunk, t)) {
      out[0].set(t, std::sqrt(m2[t] / static_cast<double>(w - 1)));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
