#include "operators/ratio.hpp"

#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

std::expected<Ratio, VexalError> Ratio::create(Names inputs, Names outputs) {
  if (auto failure = first_failure(inputs_exactly(inputs, 2), outputs_not_empty(outputs))) return *failure;
  return Ratio(std::move(inputs), std::move(outputs));
}

OptionalValue Ratio::quotient(const OptionalValue& x, const OptionalValue& y) {
  if (!x || !y || *y == 0.0) return std::nullopt;
  return *x / *y;
}

}  // namespace vexal
