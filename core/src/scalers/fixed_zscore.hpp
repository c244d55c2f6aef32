#pragma once

#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"

namespace vexal {

// Z-score with a mean and standard deviation fixed at construction, usually
// fitted on training data by fit_standard_scaler. Stateless.
class FixedZScore final : public Elementwise<FixedZScore, 1> {
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
  friend Elementwise;

  FixedZScore(Names inputs, Names outputs, double mean, double std)
      : Elementwise(std::move(inputs), std::move(outputs)), mean_(mean), std_(std) {}

  [[nodiscard]] OptionalValue value(std::span<const OptionalValue, 1> x) const;

  double mean_;
  double std_;
};

template <>
struct Describe<FixedZScore> : Described<FixedZScore> {
  static constexpr std::string_view summary = "Z-score normalization with pre-fitted mean and std.";
  static constexpr std::string_view formula =
      "(x - mean) / std with the ``mean`` and ``std`` given, usually fitted on training data by "
      "fit_standard_scaler.";
  static constexpr Option<FixedZScore> options[] = {inputs_option<FixedZScore>,
                                                    outputs_option<FixedZScore>,
                                                    {"mean", OptionType::Number},
                                                    {"std", OptionType::Number}};
  static constexpr std::string_view update_doc = "Process one bar. Returns ``[NaN]`` if input is ``NaN``.";
  static constexpr std::string_view reset_doc = "Reset (no-op for stateless scalers).";
  static constexpr std::string_view family = "scalers";
  static constexpr std::string_view options_note = "mean, std";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "f64 mean, f64 std";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "FixedZScore([\"close\"], [\"z\"], 100.0, 15.0)";
};

}  // namespace vexal
