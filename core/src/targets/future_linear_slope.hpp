#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "traits.hpp"

namespace vexal {

// Least-squares slope and R² of y on x over the `horizon` bars starting at
// each bar. Columns: x is the first input, y the second; outputs slope, r2.
class FutureLinearSlope final : public Target {
 public:
  [[nodiscard]] static std::expected<FutureLinearSlope, VexalError> create(Names inputs, std::size_t horizon,
                                                                           Names outputs);

  [[nodiscard]] const Names& inputs() const { return inputs_; }
  [[nodiscard]] const Names& outputs() const { return outputs_; }
  [[nodiscard]] std::size_t horizon() const { return horizon_; }

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return horizon_; }
  // Both results are as long as x. A y longer than x has its tail ignored; a
  // shorter one leaves absent every bar whose window reaches past its end.
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;

 private:
  FutureLinearSlope(Names inputs, std::size_t horizon, Names outputs)
      : inputs_(std::move(inputs)), outputs_(std::move(outputs)), horizon_(horizon) {}

  Names inputs_;
  Names outputs_;
  std::size_t horizon_;
};

}  // namespace vexal
