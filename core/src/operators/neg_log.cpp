#include "operators/neg_log.hpp"

#include <cmath>

namespace vexal {

std::expected<NegLog, VexalError> NegLog::create(Names inputs, Names outputs) {
  if (inputs.size() != 1) return invalid_input("inputs must contain exactly 1 column");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  return NegLog(std::move(inputs), std::move(outputs));
}

OptionalValue NegLog::value(std::span<const OptionalValue, 1> values) {
  const OptionalValue x = values[0];
  // A NaN fails the comparison too. Negation only flips the sign bit, so
  // ln(1) = 0 comes out as -0.0 and +inf as -inf.
  if (!x || !(*x > 0.0)) return std::nullopt;
  return -std::log(*x);
}

}  // namespace vexal
