#include "features/sma.hpp"

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Sma, VexalError> Sma::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Sma(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

UpdateResult Sma::evaluate(std::span<const OptionalValue>) const { return {mean_if_complete(buffer(0))}; }

void Sma::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t first = chunk.first_full();
  std::vector<double> sums(n - first);
  if (first < n) window_sums(chunk.window_of(first), n - first, window(), sums.data());
  const auto size = static_cast<double>(window());
  for (std::size_t t = 0; t < n; ++t) {
    if (t >= first && chunk.complete(t)) {
      out[0].set(t, sums[t - first] / size);
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
