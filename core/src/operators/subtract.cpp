#include "operators/subtract.hpp"

namespace vexal {

std::expected<Subtract, VexalError> Subtract::create(Names inputs, Names outputs) {
  if (inputs.size() != 2) return invalid_input("inputs must contain exactly 2 columns");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  return Subtract(std::move(inputs), std::move(outputs));
}

}  // namespace vexal
