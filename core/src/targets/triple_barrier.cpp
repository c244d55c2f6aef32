#include "targets/triple_barrier.hpp"

#include <algorithm>
#include <array>

#include "internal_failure.hpp"
#include "transform_base.hpp"

namespace vexal {
namespace {

// label, ret, bars of the bar `now` of a column of `n` bars, or nothing.
// `close(i)` reads bar i of the close.
template <class Close>
std::optional<std::array<double, 3>> walk(Close close, OptionalValue scale, std::size_t now, std::size_t n,
                                          std::size_t horizon, std::optional<double> upper,
                                          std::optional<double> lower) {
  const OptionalValue start = close(now);
  // NaN fails both tests, as an absent value does.
  // The scale is read once, through value_or: GCC 12 at -O2 otherwise takes
  // the value of a scale past the end of its column for uninitialised.
  const double s = scale.value_or(0.0);
  if (!start || !(*start > 0.0) || !(s > 0.0)) return std::nullopt;
  const double c0 = *start;
  const double up = upper ? c0 * (1.0 + *upper * s) : 0.0;
  const double down = lower ? c0 * (1.0 - *lower * s) : 0.0;
  // k < n - now, never now + k < n: a huge horizon must not wrap.
  for (std::size_t k = 1; k < n - now; ++k) {
    const OptionalValue x = close(now + k);
    if (!x) return std::nullopt;
    const auto bars = static_cast<double>(k);
    if (upper && *x >= up) return std::array{1.0, *x / c0 - 1.0, bars};
    if (lower && *x <= down) return std::array{-1.0, *x / c0 - 1.0, bars};
    if (k == horizon) return std::array{0.0, *x / c0 - 1.0, bars};
  }
  return std::nullopt;  // the data ended first
}

}  // namespace

std::expected<TripleBarrier, VexalError> TripleBarrier::create(Names inputs, std::size_t horizon,
                                                               Names outputs, std::optional<double> upper,
                                                               std::optional<double> lower) {
  if (inputs.size() != 2) return invalid_input("inputs must contain exactly 2 names: [close, scale]");
  if (std::ranges::any_of(inputs, [](const std::string& name) { return name.empty(); })) {
    return invalid_input("input names must not be empty");
  }
  if (horizon == 0) return invalid_input("horizon must be > 0");
  if (outputs.size() != 3) return invalid_input("outputs must contain exactly 3 names: [label, ret, bars]");
  // Written so that NaN is refused too.
  if (upper && !(*upper > 0.0)) return invalid_input("upper must be > 0, or None for no upper barrier");
  if (lower && !(*lower > 0.0)) return invalid_input("lower must be > 0, or None for no lower barrier");
  return TripleBarrier(std::move(inputs), horizon, std::move(outputs), upper, lower);
}

void TripleBarrier::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  out.names(inputs_);
  out.size(horizon_);
  out.names(outputs_);
  for (const std::optional<double>& multiple : {upper_, lower_}) {
    out.u8(multiple ? 1 : 0);
    out.f64(multiple.value_or(0.0));
  }
}

std::expected<TripleBarrier, VexalError> TripleBarrier::load(SnapshotReader& in) {
  Names inputs = in.names("input names");
  const std::size_t horizon = in.size("horizon");
  Names outputs = in.names("output names");
  std::array<std::optional<double>, 2> multiples;
  for (std::optional<double>& multiple : multiples) {
    const std::uint8_t set = in.u8("barrier flag");
    const double value = in.f64("barrier multiple");
    if (set > 1) in.fail("barrier flag must be 0 or 1");
    if (set == 1) multiple = value;
  }
  if (!in.ok()) return in.failure();
  auto made = in.built(snapshot_tag,
                       create(std::move(inputs), horizon, std::move(outputs), multiples[0], multiples[1]));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

std::vector<Series> TripleBarrier::run_research(std::span<const ColumnView> columns) const {
  require_values(columns, 2);
  const ColumnView close = columns[0];
  const ColumnView scale = columns[1];
  const std::size_t n = close.size();
  std::vector<Series> out(3, Series(n));
  const auto at = [close](std::size_t i) { return close[i]; };
  for (std::size_t t = 0; t < n; ++t) {
    // A scale shorter than the close leaves the bars past its end absent.
    const OptionalValue s = t < scale.size() ? scale[t] : std::nullopt;
    if (const auto hit = walk(at, s, t, n, horizon_, upper_, lower_)) {
      for (std::size_t k = 0; k < 3; ++k) out[k][t] = (*hit)[k];
    }
  }
  return out;
}

void TripleBarrier::run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                                      std::span<const ColumnOut> out, std::size_t count) const {
  require_values(in, 2);
  require_values(out, 3);
  const ColumnIn close = in[0];
  const auto at = [close](std::size_t i) { return close.at(i); };
  for (std::size_t t = 0; t < count; ++t) {
    // The slice reaches `horizon` rows past this one or to the end of the
    // data, so running out of rows is the end of the data.
    const std::size_t now = first + t;
    if (const auto hit = walk(at, in[1].at(now), now, m, horizon_, upper_, lower_)) {
      for (std::size_t k = 0; k < 3; ++k) out[k].set(t, (*hit)[k]);
    } else {
      for (std::size_t k = 0; k < 3; ++k) out[k].set_absent(t);
    }
  }
  set_absent_from(out, 3, count);
}

}  // namespace vexal
