#include "scalers/fixed_zscore.hpp"

#include "internal_failure.hpp"

namespace vexal {

std::expected<FixedZScore, VexalError> FixedZScore::create(Names inputs, Names outputs, double mean,
                                                           double std) {
  if (inputs.size() != 1) return invalid_input("inputs must contain exactly 1 column");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  // Written as a comparison that NaN fails, so a NaN std is accepted.
  if (std <= 0.0) return invalid_input("std must be > 0");
  return FixedZScore(std::move(inputs), std::move(outputs), mean, std);
}

std::expected<FixedZScore, VexalError> FixedZScore::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const double mean = in.f64("mean");
  const double std = in.f64("std");
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), mean, std));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

void FixedZScore::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.f64(mean_);
  out.f64(std_);
}

OptionalValue FixedZScore::value(std::span<const OptionalValue, 1> values) const {
  const OptionalValue& x = values[0];
  if (!x) return std::nullopt;
  return (*x - mean_) / std_;
}

}  // namespace vexal
