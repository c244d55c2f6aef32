#include "features/sma.hpp"

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

std::unique_ptr<StreamingTransform> Sma::fresh() const { return fresh_from(create(inputs_, window_, outputs_)); }

UpdateResult Sma::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  buffer_.push_back(values[0]);
  return {mean_if_complete(buffer_)};
}

}  // namespace vexal
