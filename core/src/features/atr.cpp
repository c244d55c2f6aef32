#include "features/atr.hpp"

#include <array>

#include "features/true_range.hpp"
#include "internal_failure.hpp"

namespace vexal {

std::expected<Atr, VexalError> Atr::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto average = WilderAverage::create(window);
  if (!average) return std::unexpected(std::move(average.error()));
  return Atr(std::move(inputs), window, std::move(outputs), std::move(*average));
}

void Atr::clear_state() {
  previous_close_.reset();
  average_.reset();
}

Atr::Row Atr::seed(Bar bar) {
  const OptionalValue range = TrueRange::of(bar[0], bar[1], previous_close_);
  previous_close_ = bar[2];
  return {average_.update(range)};
}

Atr::Row Atr::peek_seed(Bar bar) { return {average_.peek(TrueRange::of(bar[0], bar[1], previous_close_))}; }

void Atr::save_state(SnapshotWriter& out) const {
  out.value(previous_close_);
  average_.save_state(out);
}

void Atr::load_state(SnapshotReader& in) {
  previous_close_ = in.value("previous close");
  average_.load_state(in);
}

}  // namespace vexal
