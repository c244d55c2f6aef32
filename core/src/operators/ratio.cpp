#include "operators/ratio.hpp"

#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

std::expected<Ratio, VexalError> Ratio::create(Names inputs, Names outputs) {
  if (auto failure = first_failure(inputs_exactly(inputs, 2), outputs_not_empty(outputs))) return *failure;
  return Ratio(std::move(inputs), std::move(outputs));
}

UpdateResult Ratio::of(std::span<const OptionalValue> values) { return {quotient(values[0], values[1])}; }

OptionalValue Ratio::quotient(const OptionalValue& x, const OptionalValue& y) {
  if (!x || !y || *y == 0.0) return std::nullopt;
  return *x / *y;
}

void Ratio::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  for (std::size_t t = 0; t < n; ++t) out[0].set(t, quotient(in[0].at(t), in[1].at(t)));
  set_absent_from(out, 1, n);
}

}  // namespace vexal
