#pragma once

#include <expected>
#include <string_view>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Z-score with a mean and standard deviation fixed at construction, usually
// fitted on training data by fit_standard_scaler. Stateless.
class FixedZScore final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "FixedZScore";

  // Rebuilds a saved FixedZScore (the fields after its tag).
  [[nodiscard]] static std::expected<FixedZScore, VexalError> load(SnapshotReader& in);
  [[nodiscard]] static std::expected<FixedZScore, VexalError> create(Names inputs, Names outputs, double mean,
                                                                     double std);

  [[nodiscard]] double mean() const { return mean_; }
  [[nodiscard]] double std() const { return std_; }

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;
  // Stateless: the peek is the update.
  UpdateResult peek(std::span<const OptionalValue> values) override { return update(values); }
  void save(SnapshotWriter& out) const override;

 private:
  FixedZScore(Names inputs, Names outputs, double mean, double std)
      : NamedTransform(std::move(inputs), std::move(outputs)), mean_(mean), std_(std) {}

  double mean_;
  double std_;
};

}  // namespace vexal
