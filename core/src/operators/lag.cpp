#include "operators/lag.hpp"

#include "columns/chunk_window.hpp"
#include "internal_failure.hpp"

namespace vexal {

std::expected<Lag, VexalError> Lag::create(Names inputs, std::size_t k, Names outputs) {
  if (auto failure = first_failure(inputs_exactly(inputs, 1), outputs_not_empty(outputs),
                                   require(k != 0, "k must be non-zero")))
    return *failure;
  // The current value and the `k` before it.
  auto buffers = all_reserved(reserve_window(k, 1));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Lag(std::move(inputs), k, std::move(outputs), std::move(*buffers));
}

UpdateResult Lag::evaluate(std::span<const OptionalValue>) {
  if (!buffer(0).full()) return {std::nullopt};
  return {buffer(0).front()};
}

// The buffer holds the bar and the k before it, so a full window's oldest
// entry is the lagged value.
void Lag::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t k = window();
  for (std::size_t t = 0; t < n; ++t) {
    if (t >= chunk.first_full() && chunk.present(t, k)) {
      out[0].set(t, chunk.value(t, k));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
