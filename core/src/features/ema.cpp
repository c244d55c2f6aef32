#include "features/ema.hpp"

#include "window_stats.hpp"

namespace vexal {

std::expected<Ema, VexalError> Ema::create(Names inputs, std::size_t window, Names outputs) {
  if (inputs.empty()) return invalid_input("inputs must not be empty");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  if (window == 0) return invalid_input("window must be non-zero");
  auto seed = reserve_window(window);
  if (!seed) return std::unexpected(std::move(seed.error()));
  return Ema(std::move(inputs), window, std::move(outputs), std::move(*seed));
}

std::unique_ptr<StreamingTransform> Ema::fresh() const { return fresh_from(create(inputs_, window_, outputs_)); }

void Ema::reset() {
  current_.reset();
  seed_.clear();
}

UpdateResult Ema::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  if (current_) {
    if (x) {
      const double keep = 1.0 - alpha_;
      current_ = keep * *current_ + alpha_ * *x;
    } else {
      reset();
    }
    return {current_};
  }
  seed_.push_back(x);
  const OptionalValue seed = mean_if_complete(seed_);
  if (seed) {
    current_ = seed;
    seed_.clear();
  }
  return {seed};
}

}  // namespace vexal
