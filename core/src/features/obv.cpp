#include "features/obv.hpp"

#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

std::expected<Obv, VexalError> Obv::create(Names inputs, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 2, "close and volume"), outputs_not_empty(outputs)))
    return *failure;
  return Obv(std::move(inputs), std::move(outputs));
}

std::unique_ptr<StreamingTransform> Obv::fresh() const { return fresh_from(create(inputs_, outputs_)); }

void Obv::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.value(carried_.previous_close);
  out.value(carried_.total);
}

std::expected<Obv, VexalError> Obv::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const OptionalValue previous_close = in.value("previous close");
  const OptionalValue total = in.value("total");
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs)));
  if (!made) return in.failure();
  if (previous_close.has_value() != total.has_value()) {
    in.fail("Obv holds a total without a previous close or the other way round");
    return in.failure();
  }
  made->carried_ = {previous_close, total};
  return in.result(std::move(*made));
}

}  // namespace vexal
