#include "operators/subtract.hpp"

namespace vexal {

std::expected<Subtract, VexalError> Subtract::create(Names inputs, Names outputs) {
  if (inputs.size() != 2) return invalid_input("inputs must contain exactly 2 columns");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  return Subtract(std::move(inputs), std::move(outputs));
}

UpdateResult Subtract::of(std::span<const OptionalValue> values) {
  const OptionalValue a = values[0];
  const OptionalValue b = values[1];
  if (!a || !b) return {std::nullopt};
  return {*a - *b};
}

void Subtract::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  const ColumnIn a = in[0];
  const ColumnIn b = in[1];
  for (std::size_t t = 0; t < n; ++t) {
    out[0].values[t] = a.values[t] - b.values[t];
    out[0].valid[t] = a.valid[t] & b.valid[t];
  }
  set_absent_from(out, 1, n);
}

}  // namespace vexal
