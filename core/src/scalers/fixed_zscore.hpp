#pragma once

#include <expected>
#include <string_view>

#include "error.hpp"
#include "stateless.hpp"

namespace vexal {

// Z-score with a mean and standard deviation fixed at construction, usually
// fitted on training data by fit_standard_scaler. Stateless.
class FixedZScore final : public Stateless<FixedZScore, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "FixedZScore";

  // Rebuilds a saved FixedZScore (the fields after its tag).
  [[nodiscard]] static std::expected<FixedZScore, VexalError> load(SnapshotReader& in);
  [[nodiscard]] static std::expected<FixedZScore, VexalError> create(Names inputs, Names outputs, double mean,
                                                                     double std);

  [[nodiscard]] double mean() const { return mean_; }
  [[nodiscard]] double std() const { return std_; }

  // The names, then the mean and the std.
  void save(SnapshotWriter& out) const override;

 private:
  friend Stateless;

  FixedZScore(Names inputs, Names outputs, double mean, double std)
      : Stateless(std::move(inputs), std::move(outputs)), mean_(mean), std_(std) {}

  [[nodiscard]] UpdateResult of(std::span<const OptionalValue> values) const;

  double mean_;
  double std_;
};

}  // namespace vexal
