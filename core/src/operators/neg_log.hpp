#pragma once

#include <expected>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Negative natural logarithm of one column; absent unless the value is > 0.
class NegLog final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<NegLog, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;

 private:
  NegLog(Names inputs, Names outputs) : NamedTransform(std::move(inputs), std::move(outputs)) {}
};

}  // namespace vexal
