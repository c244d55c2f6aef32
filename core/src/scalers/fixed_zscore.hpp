#pragma once

#include <expected>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Z-score with a mean and standard deviation fixed at construction, usually
// fitted on training data by fit_standard_scaler. Stateless.
class FixedZScore final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<FixedZScore, VexalError> create(Names inputs, Names outputs, double mean,
                                                                     double std);

  [[nodiscard]] double mean() const { return mean_; }
  [[nodiscard]] double std() const { return std_; }

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;

 private:
  FixedZScore(Names inputs, Names outputs, double mean, double std)
      : NamedTransform(std::move(inputs), std::move(outputs)), mean_(mean), std_(std) {}

  double mean_;
  double std_;
};

}  // namespace vexal
