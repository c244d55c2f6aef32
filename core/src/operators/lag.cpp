#include "operators/lag.hpp"

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

template class WindowedState<Lag, 1>;
template class Stepped<Lag, 1, 1, 1>;

}  // namespace vexal
