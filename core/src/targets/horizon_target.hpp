#pragma once

#include <cstddef>
#include <utility>

#include "traits.hpp"

namespace vexal {

// A target configured with input names, a horizon and output names, which
// it reports unchanged; the horizon is also its forward period.
class HorizonTarget : public Target {
 public:
  [[nodiscard]] const Names& inputs() const { return inputs_; }
  [[nodiscard]] const Names& outputs() const { return outputs_; }
  [[nodiscard]] std::size_t horizon() const { return horizon_; }

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return horizon_; }

 protected:
  HorizonTarget(Names inputs, std::size_t horizon, Names outputs)
      : inputs_(std::move(inputs)), outputs_(std::move(outputs)), horizon_(horizon) {}

  Names inputs_;
  Names outputs_;
  std::size_t horizon_;
};

}  // namespace vexal
