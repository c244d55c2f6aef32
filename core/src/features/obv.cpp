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

void Obv::reset() {
  previous_close_.reset();
  total_.reset();
}

OptionalValue Obv::next_total(const OptionalValue& close, const OptionalValue& volume) const {
  if (!close || !volume || !(*volume >= 0.0)) return std::nullopt;
  if (!total_) return *volume;
  if (*close > *previous_close_) return *total_ + *volume;
  if (*close < *previous_close_) return *total_ - *volume;
  return total_;
}

UpdateResult Obv::update(std::span<const OptionalValue> values) {
  require_values(values, 2);
  total_ = next_total(values[0], values[1]);
  previous_close_ = total_ ? values[0] : std::nullopt;
  return {total_};
}

void Obv::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  for (std::size_t t = 0; t < n; ++t) {
    const OptionalValue close = in[0].at(t);
    total_ = next_total(close, in[1].at(t));
    previous_close_ = total_ ? close : std::nullopt;
    out[0].set(t, total_);
  }
  set_absent_from(out, 1, n);
}

UpdateResult Obv::peek(std::span<const OptionalValue> values) {
  require_values(values, 2);
  return {next_total(values[0], values[1])};
}

void Obv::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.value(previous_close_);
  out.value(total_);
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
  made->previous_close_ = previous_close;
  made->total_ = total;
  return in.result(std::move(*made));
}

}  // namespace vexal
