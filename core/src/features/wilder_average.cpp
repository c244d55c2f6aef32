#include "features/wilder_average.hpp"

#include "seeded_average.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<WilderAverage, VexalError> WilderAverage::create(std::size_t window) {
  auto seed = reserve_window(window);
  if (!seed) return std::unexpected(std::move(seed.error()));
  return WilderAverage(window, std::move(*seed));
}

void WilderAverage::reset() {
  current_.reset();
  seed_.clear();
}

OptionalValue WilderAverage::update(OptionalValue x) {
  return SeededAverage::update(current_, seed_, x, stepper());
}

OptionalValue WilderAverage::peek(OptionalValue x) {
  return SeededAverage::peek(current_, seed_, x, stepper());
}

void WilderAverage::update_columns(ColumnIn x, ColumnOut y, std::size_t n) {
  SeededAverage::columns(current_, seed_, x, y, n, stepper());
}

void WilderAverage::save_state(SnapshotWriter& out) const {
  out.value(current_);
  out.values(seed_);
}

void WilderAverage::load_state(SnapshotReader& in) {
  current_ = in.value("average");
  in.values_into(seed_, "seed values");
  if (in.ok() && current_ && !seed_.empty())
    in.fail("a Wilder average holds an average and seed values at once");
}

}  // namespace vexal
