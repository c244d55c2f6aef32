#include "features/sma.hpp"

namespace vexal {

std::expected<Sma, VexalError> Sma::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Sma(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

template class WindowedState<Sma, 1>;
template class Stepped<Sma, 1, 1, 1>;

}  // namespace vexal
