#pragma once

#include <expected>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Difference of two columns of the same bar, minuend first.
class Subtract final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<Subtract, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  Subtract(Names inputs, Names outputs) : NamedTransform(std::move(inputs), std::move(outputs)) {}
};

}  // namespace vexal
