#include "operators/ratio.hpp"

#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

std::expected<Ratio, VexalError> Ratio::create(Names inputs, Names outputs) {
  if (auto failure = first_failure(inputs_exactly(inputs, 2), outputs_not_empty(outputs))) return *failure;
  return Ratio(std::move(inputs), std::move(outputs));
}

std::unique_ptr<StreamingTransform> Ratio::fresh() const { return fresh_from(create(inputs_, outputs_)); }

UpdateResult Ratio::update(std::span<const OptionalValue> values) {
  require_values(values, 2);
  return {quotient(values[0], values[1])};
}

OptionalValue Ratio::quotient(const OptionalValue& x, const OptionalValue& y) {
  if (!x || !y || *y == 0.0) return std::nullopt;
  return *x / *y;
}

void Ratio::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  for (std::size_t t = 0; t < n; ++t) out[0].set(t, quotient(in[0].at(t), in[1].at(t)));
  set_absent_from(out, 1, n);
}

std::expected<Ratio, VexalError> Ratio::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs)));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

}  // namespace vexal
