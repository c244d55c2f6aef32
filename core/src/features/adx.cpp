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
  carried_ = {};
  range_.reset();
  plus_.reset();
  minus_.reset();
  dx_.reset();
}

Adx::Terms Adx::terms(const AdxPrevious& previous, const OptionalValue& high, const OptionalValue& low) {
  const OptionalValue range = TrueRange::of(high, low, previous.close);
  Terms terms;
  if (range && previous.high && previous.low) {
    const double up = *high - *previous.high;
    const double down = *previous.low - *low;
    terms.range = range;
    terms.plus_dm = up > down && up > 0.0 ? up : 0.0;
    terms.minus_dm = down > up && down > 0.0 ? down : 0.0;
  }
  return terms;
}

Adx::Indicators Adx::indicators(const OptionalValue& tr, const OptionalValue& plus,
                                const OptionalValue& minus) {
  Indicators found;
  if (tr && plus && minus && *tr != 0.0) {
    found.plus_di = 100.0 * (*plus / *tr);
    found.minus_di = 100.0 * (*minus / *tr);
    const double sum = *found.plus_di + *found.minus_di;
    if (sum != 0.0) found.dx = 100.0 * (std::fabs(*found.plus_di - *found.minus_di) / sum);
  }
  return found;
}

void Adx::advance(AdxPrevious& previous, const OptionalValue& high, const OptionalValue& low,
                  const OptionalValue& close) {
  const bool valid = TrueRange::valid_range(high, low);
  previous.high = valid ? high : std::nullopt;
  previous.low = valid ? low : std::nullopt;
  previous.close = close;
}

void Adx::save_state(SnapshotWriter& out) const {
  out.value(carried_.high);
  out.value(carried_.low);
  out.value(carried_.close);
  for (const WilderAverage* average : {&range_, &plus_, &minus_, &dx_}) average->save_state(out);
}

void Adx::load_state(SnapshotReader& in) {
  carried_.high = in.value("previous high");
  carried_.low = in.value("previous low");
  carried_.close = in.value("previous close");
  for (WilderAverage* average : {&range_, &plus_, &minus_, &dx_}) average->load_state(in);
}

}  // namespace vexal
