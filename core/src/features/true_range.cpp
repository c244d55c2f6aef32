#include "features/true_range.hpp"

#include <cmath>

#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

std::expected<TrueRange, VexalError> TrueRange::create(Names inputs, Names outputs) {
  if (auto failure =
          first_failure(inputs_contain(inputs, 3, "high, low, and close"), outputs_not_empty(outputs)))
    return *failure;
  return TrueRange(std::move(inputs), std::move(outputs));
}

std::unique_ptr<StreamingTransform> TrueRange::fresh() const { return fresh_from(create(inputs_, outputs_)); }

bool TrueRange::valid_range(OptionalValue high, OptionalValue low) { return high && low && *high >= *low; }

OptionalValue TrueRange::of(OptionalValue high, OptionalValue low, OptionalValue previous_close) {
  if (!previous_close || !valid_range(high, low)) return std::nullopt;
  double greatest = *high - *low;
  const double to_high = std::fabs(*high - *previous_close);
  if (to_high > greatest) greatest = to_high;
  const double to_low = std::fabs(*low - *previous_close);
  if (to_low > greatest) greatest = to_low;
  return greatest;
}

void TrueRange::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.value(carried_);
}

std::expected<TrueRange, VexalError> TrueRange::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const OptionalValue previous_close = in.value("previous close");
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs)));
  if (!made) return in.failure();
  made->carried_ = previous_close;
  return in.result(std::move(*made));
}

}  // namespace vexal
