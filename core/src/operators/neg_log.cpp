#include "operators/neg_log.hpp"

#include <cmath>

namespace vexal {

std::expected<NegLog, VexalError> NegLog::create(Names inputs, Names outputs) {
  if (inputs.size() != 1) return invalid_input("inputs must contain exactly 1 column");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  return NegLog(std::move(inputs), std::move(outputs));
}

std::unique_ptr<StreamingTransform> NegLog::fresh() const { return fresh_from(create(inputs_, outputs_)); }

std::expected<NegLog, VexalError> NegLog::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs)));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

void NegLog::save(SnapshotWriter& out) const { save_names(out, snapshot_tag); }

UpdateResult NegLog::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  // A NaN fails the comparison too. Negation only flips the sign bit, so
  // ln(1) = 0 comes out as -0.0 and +inf as -inf.
  if (!x || !(*x > 0.0)) return {std::nullopt};
  return {-std::log(*x)};
}

}  // namespace vexal
