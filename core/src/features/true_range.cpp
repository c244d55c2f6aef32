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
