#include "features/wilder_average.hpp"

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
      current_ = (*current_ * kept_ + *x) / divisor_;
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

}  // namespace vexal
