#include "features/adx.hpp"

#include <cmath>

#include "features/true_range.hpp"
#include "internal_failure.hpp"

namespace vexal {

std::expected<Adx, VexalError> Adx::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                        outputs_exactly(outputs, 3, "[adx, plus_di, minus_di]"), window_non_zero(window)))
    return *failure;
  auto range = WilderAverage::create(window);
  if (!range) return std::unexpected(std::move(range.error()));
  auto plus = WilderAverage::create(window);
  if (!plus) return std::unexpected(std::move(plus.error()));
  auto minus = WilderAverage::create(window);
  if (!minus) return std::unexpected(std::move(minus.error()));
  auto dx = WilderAverage::create(window);
  if (!dx) return std::unexpected(std::move(dx.error()));
  return Adx(std::move(inputs), window, std::move(outputs), std::move(*range), std::move(*plus),
             std::move(*minus), std::move(*dx));
}

void Adx::clear_state() {
  previous_high_.reset();
  previous_low_.reset();
  previous_close_.reset();
  range_.reset();
  plus_.reset();
  minus_.reset();
  dx_.reset();
}

template <class Step>
UpdateResult Adx::directional(std::span<const OptionalValue> values, Step step) {
  const OptionalValue high = values[0];
  const OptionalValue low = values[1];
  const OptionalValue range = TrueRange::of(high, low, previous_close_);
  OptionalValue plus_dm;
  OptionalValue minus_dm;
  if (range && previous_high_ && previous_low_) {
    const double up = *high - *previous_high_;
    const double down = *previous_low_ - *low;
    plus_dm = up > down && up > 0.0 ? up : 0.0;
    minus_dm = down > up && down > 0.0 ? down : 0.0;
  }
  const OptionalValue tr = step(range_, plus_dm ? range : std::nullopt);
  const OptionalValue plus = step(plus_, plus_dm);
  const OptionalValue minus = step(minus_, minus_dm);
  OptionalValue plus_di;
  OptionalValue minus_di;
  OptionalValue dx;
  if (tr && plus && minus && *tr != 0.0) {
    plus_di = 100.0 * (*plus / *tr);
    minus_di = 100.0 * (*minus / *tr);
    const double sum = *plus_di + *minus_di;
    if (sum != 0.0) dx = 100.0 * (std::fabs(*plus_di - *minus_di) / sum);
  }
  return {step(dx_, dx), plus_di, minus_di};
}

UpdateResult Adx::update(std::span<const OptionalValue> values) {
  require_values(values, 3);
  const UpdateResult result =
      directional(values, [](WilderAverage& average, OptionalValue x) { return average.update(x); });
  const bool valid = TrueRange::valid_range(values[0], values[1]);
  previous_high_ = valid ? values[0] : std::nullopt;
  previous_low_ = valid ? values[1] : std::nullopt;
  previous_close_ = values[2];
  return result;
}

UpdateResult Adx::peek(std::span<const OptionalValue> values) {
  require_values(values, 3);
  return directional(values, [](WilderAverage& average, OptionalValue x) { return average.peek(x); });
}

void Adx::save_state(SnapshotWriter& out) const {
  out.value(previous_high_);
  out.value(previous_low_);
  out.value(previous_close_);
  for (const WilderAverage* average : {&range_, &plus_, &minus_, &dx_}) average->save_state(out);
}

void Adx::load_state(SnapshotReader& in) {
  previous_high_ = in.value("previous high");
  previous_low_ = in.value("previous low");
  previous_close_ = in.value("previous close");
  for (WilderAverage* average : {&range_, &plus_, &minus_, &dx_}) average->load_state(in);
}

}  // namespace vexal
