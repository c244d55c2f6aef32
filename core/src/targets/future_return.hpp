#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "traits.hpp"

namespace vexal {

// Simple return from each bar's close to the close `horizon` bars later.
class FutureReturn final : public Target {
 public:
  [[nodiscard]] static std::expected<FutureReturn, VexalError> create(Names inputs, std::size_t horizon,
                                                                      Names outputs);

  [[nodiscard]] const Names& inputs() const { return inputs_; }
  [[nodiscard]] const Names& outputs() const { return outputs_; }
  [[nodiscard]] std::size_t horizon() const { return horizon_; }

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return horizon_; }
  // Reads the first column only and returns exactly one column.
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;

 private:
  FutureReturn(Names inputs, std::size_t horizon, Names outputs)
      : inputs_(std::move(inputs)), outputs_(std::move(outputs)), horizon_(horizon) {}

  Names inputs_;
  Names outputs_;
  std::size_t horizon_;
};

}  // namespace vexal
