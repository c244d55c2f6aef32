#pragma once

#include <cstddef>
#include <expected>

#include "columns/column.hpp"
#include "error.hpp"
#include "optional_value.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "value_buffer.hpp"

namespace vexal {

// Wilder's smoothing, avg = (avg * (w - 1) + x) / w in that order, seeded
// as Ema is: with the simple average of the first full window of present
// values. An absent value drops the average and seeding starts again.
class WilderAverage {
 public:
  [[nodiscard]] static std::expected<WilderAverage, VexalError> create(std::size_t window);

  // The average after `x`; absent while seeding and at an absent `x`.
  OptionalValue update(OptionalValue x);
  // What update(x) would give, leaving the average as it is.
  OptionalValue peek(OptionalValue x);
  void reset();
  // update over a column of n values, y[t] the average after x[t]: seeded,
  // the recursion runs on a local while the values stay present.
  void update_columns(ColumnIn x, ColumnOut y, std::size_t n);

  // For a loop that runs several averages side by side: the seeded average
  // (absent while seeding), the step update takes from it, and storing the
  // average the loop ends with.
  [[nodiscard]] const OptionalValue& average() const { return current_; }
  [[nodiscard]] double step(double average, double x) const { return (average * kept_ + x) / divisor_; }
  void resume(double average) { current_ = average; }

  // The average and the seed values; load_state refuses both at once.
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  WilderAverage(std::size_t window, ValueBuffer seed)
      : seed_(std::move(seed)),
        kept_(static_cast<double>(window - 1)),
        divisor_(static_cast<double>(window)) {}

  [[nodiscard]] auto stepper() const {
    return [this](double average, double x) { return step(average, x); };
  }

  OptionalValue current_;  // present only once seeded; the seed buffer is then empty
  ValueBuffer seed_;
  double kept_;
  double divisor_;
};

}  // namespace vexal
