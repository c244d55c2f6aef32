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

Adx::Terms Adx::terms(const OptionalValue& high, const OptionalValue& low) const {
  const OptionalValue range = TrueRange::of(high, low, previous_close_);
  Terms terms;
  if (range && previous_high_ && previous_low_) {
    const double up = *high - *previous_high_;
    const double down = *previous_low_ - *low;
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

void Adx::advance(const OptionalValue& high, const OptionalValue& low, const OptionalValue& close) {
  const bool valid = TrueRange::valid_range(high, low);
  previous_high_ = valid ? high : std::nullopt;
  previous_low_ = valid ? low : std::nullopt;
  previous_close_ = close;
}

template <class Step>
UpdateResult Adx::directional(std::span<const OptionalValue> values, Step step) {
  const Terms bar = terms(values[0], values[1]);
  const OptionalValue tr = step(range_, bar.range);
  const OptionalValue plus = step(plus_, bar.plus_dm);
  const OptionalValue minus = step(minus_, bar.minus_dm);
  const Indicators found = indicators(tr, plus, minus);
  return {step(dx_, found.dx), found.plus_di, found.minus_di};
}

UpdateResult Adx::update(std::span<const OptionalValue> values) {
  require_values(values, 3);
  const UpdateResult result =
      directional(values, [](WilderAverage& average, OptionalValue x) { return average.update(x); });
  advance(values[0], values[1], values[2]);
  return result;
}

UpdateResult Adx::peek(std::span<const OptionalValue> values) {
  require_values(values, 3);
  return directional(values, [](WilderAverage& average, OptionalValue x) { return average.peek(x); });
}

// update's steps a pass each over the chunk: the bar's terms, the three
// averages, the indicators, then the average of DX.
void Adx::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 3);
  require_values(out, 3);
  ColumnBuffer ranges(n), plus_dms(n), minus_dms(n), trs(n), pluses(n), minuses(n), dxs(n);
  for (std::size_t t = 0; t < n; ++t) {
    const OptionalValue high = in[0].at(t);
    const OptionalValue low = in[1].at(t);
    const Terms bar = terms(high, low);
    ranges.out().set(t, bar.range);
    plus_dms.out().set(t, bar.plus_dm);
    minus_dms.out().set(t, bar.minus_dm);
    advance(high, low, in[2].at(t));
  }
  range_.update_columns(ranges.in(), trs.out(), n);
  plus_.update_columns(plus_dms.in(), pluses.out(), n);
  minus_.update_columns(minus_dms.in(), minuses.out(), n);
  for (std::size_t t = 0; t < n; ++t) {
    const Indicators found = indicators(trs.in().at(t), pluses.in().at(t), minuses.in().at(t));
    out[1].set(t, found.plus_di);
    out[2].set(t, found.minus_di);
    dxs.out().set(t, found.dx);
  }
  dx_.update_columns(dxs.in(), out[0], n);
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
