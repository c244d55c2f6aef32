#include "targets/future_return.hpp"

#include <algorithm>

#include "internal_failure.hpp"
#include "tools/shift.hpp"
#include "transform_base.hpp"

namespace vexal {

std::expected<FutureReturn, VexalError> FutureReturn::create(Names inputs, std::size_t horizon,
                                                             Names outputs) {
  if (inputs.empty()) return invalid_input("inputs must not be empty");
  if (horizon == 0) return invalid_input("horizon must be > 0");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  return FutureReturn(std::move(inputs), horizon, std::move(outputs));
}

std::vector<Series> FutureReturn::run_research(std::span<const ColumnView> columns) const {
  require_values(columns, 1);
  const ColumnView close = columns[0];
  // A horizon beyond the column leads it out entirely; clamping first keeps
  // the conversion to a signed offset from overflowing.
  const std::size_t lead = std::min(horizon_, close.size());
  // The shifted copy becomes the label in place: one allocation per call.
  Series label = shift(close, -static_cast<std::ptrdiff_t>(lead));
  for (std::size_t t = 0; t < close.size(); ++t) {
    const OptionalValue& now = close[t];
    OptionalValue& future = label[t];
    if (now && *now > 0.0 && future) {
      future = (*future - *now) / *now;
    } else {
      future.reset();
    }
  }
  std::vector<Series> out;
  out.push_back(std::move(label));
  return out;
}

void FutureReturn::run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                                     std::span<const ColumnOut> out, std::size_t count) const {
  require_values(in, 1);
  require_values(out, 1);
  const ColumnIn close = in[0];
  for (std::size_t t = 0; t < count; ++t) {
    const std::size_t now = first + t;
    // Compared as a distance, not as now + horizon, which wraps for a
    // horizon near 2^64 and would read a past row as a future one.
    const bool reached = horizon_ < m - now;
    if (reached && close.valid[now] != 0 && close.values[now] > 0.0 && close.valid[now + horizon_] != 0) {
      const std::size_t ahead = now + horizon_;
      out[0].set(t, (close.values[ahead] - close.values[now]) / close.values[now]);
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, count);
}

}  // namespace vexal
