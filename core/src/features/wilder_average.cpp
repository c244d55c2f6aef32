#include "features/wilder_average.hpp"

#include "columns/seeded_run.hpp"
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
  if (current_) {
    if (x) {
      current_ = next(*x);
    } else {
      reset();
    }
    return current_;
  }
  seed_.push_back(x);
  const OptionalValue seed = mean_if_complete(seed_);
  if (seed) {
    current_ = seed;
    seed_.clear();
  }
  return seed;
}

OptionalValue WilderAverage::peek(OptionalValue x) {
  if (current_) return x ? OptionalValue(next(*x)) : std::nullopt;
  const auto displaced = seed_.push_back_undoable(x);
  const OptionalValue seed = mean_if_complete(seed_);
  seed_.undo(displaced);
  return seed;
}

void WilderAverage::update_columns(ColumnIn x, ColumnOut y, std::size_t n) {
  run_seeded(
      n, [&] { return current_.has_value(); },
      [&](std::size_t t) {
        double average = *current_;
        for (; t < n && x.valid[t] != 0; ++t) {
          average = step(average, x.values[t]);
          y.set(t, average);
        }
        current_ = average;
        return t;
      },
      [&](std::size_t t) { y.set(t, update(x.at(t))); });
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
