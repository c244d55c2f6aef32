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

UpdateResult Obv::update(std::span<const OptionalValue> values) {
  require_values(values, 2);
  const OptionalValue close = values[0];
  const OptionalValue volume = values[1];
  if (!close || !volume || !(*volume >= 0.0)) {
    reset();
    return {std::nullopt};
  }
  if (!total_) {
    total_ = *volume;
  } else if (*close > *previous_close_) {
    total_ = *total_ + *volume;
  } else if (*close < *previous_close_) {
    total_ = *total_ - *volume;
  }
  previous_close_ = close;
  return {total_};
}

}  // namespace vexal
