#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "optional_value.hpp"
#include "ring_buffer.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"

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

  // The average and the seed values; load_state refuses both at once.
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  WilderAverage(std::size_t window, ValueBuffer seed)
      : seed_(std::move(seed)),
        kept_(static_cast<double>(window - 1)),
        divisor_(static_cast<double>(window)) {}

  [[nodiscard]] double next(double x) const { return (*current_ * kept_ + x) / divisor_; }

  OptionalValue current_;  // present only once seeded; the seed buffer is then empty
  ValueBuffer seed_;
  double kept_;
  double divisor_;
};

}  // namespace vexal
