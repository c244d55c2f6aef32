#pragma once

#include <expected>
#include <string_view>
#include <utility>

#include "error.hpp"
#include "traits.hpp"

namespace vexal {

// The failure every constructor check returns: InvalidInput with `msg`.
[[nodiscard]] inline std::unexpected<VexalError> invalid_input(std::string_view msg) {
  return std::unexpected(VexalError::invalid_input(std::string(msg)));
}

// Holds the input and output names every transform reports unchanged.
class NamedTransform : public StreamingTransform {
 public:
  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }

 protected:
  NamedTransform(Names inputs, Names outputs) : inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}

  Names inputs_;
  Names outputs_;
};

}  // namespace vexal
