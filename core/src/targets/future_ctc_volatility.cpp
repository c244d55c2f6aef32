#include "targets/future_ctc_volatility.hpp"

#include <algorithm>
#include <cmath>

#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "tools/pairwise.hpp"
#include "tools/rolling.hpp"
#include "tools/shift.hpp"
#include "transform_base.hpp"

namespace vexal {

std::expected<FutureCTCVolatility, VexalError> FutureCTCVolatility::create(std::string input,
                                                                           std::size_t horizon) {
  if (input.empty()) return invalid_input("input must not be empty");
  if (horizon < 2) return invalid_input("horizon must be >= 2 (std_dev requires at least 2 log returns)");
  return FutureCTCVolatility(std::move(input), horizon);
}

std::expected<FutureCTCVolatility, VexalError> FutureCTCVolatility::load(SnapshotReader& in) {
  std::string input = in.text("input name");
  const std::size_t horizon = in.size("horizon");
  auto made = in.built(snapshot_tag, create(std::move(input), horizon));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

void FutureCTCVolatility::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  out.text(input_);
  out.size(horizon_);
}

std::vector<Series> FutureCTCVolatility::run_research(std::span<const ColumnView> columns) const {
  require_values(columns, 1);
  const ColumnView close = columns[0];
  const Series prev = shift(close, 1);
  const Series log_returns = pairwise(prev, close);
  const Series trailing = rolling(log_returns, horizon_);
  // sd[t + h] covers the returns t + 1 .. t + h, so leading it by h labels
  // bar t with the volatility of its next h returns.
  const std::size_t lead = std::min(horizon_, trailing.size());
  std::vector<Series> out;
  out.push_back(shift(trailing, -static_cast<std::ptrdiff_t>(lead)));
  return out;
}

// Each row's log return once, then every window's two passes at a time.
void FutureCTCVolatility::run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                                            std::span<const ColumnOut> out, std::size_t count) const {
  require_values(in, 1);
  require_values(out, 1);
  const ColumnIn close = in[0];
  const std::size_t h = horizon_;
  // Rows whose next h returns all lie in the slice.
  // Compared as distances: h + first wraps for a horizon near 2^64.
  const std::size_t labelled = m - first > h ? std::min(count, m - first - h) : 0;
  std::vector<double> returns(m, 0.0);
  std::vector<std::size_t> absent(m + 1, 0);
  absent[1] = 1;  // the first row has no previous price
  for (std::size_t i = 1; i < m; ++i) {
    const bool usable =
        close.valid[i - 1] != 0 && close.valid[i] != 0 && close.values[i - 1] > 0.0 && close.values[i] > 0.0;
    if (usable) returns[i] = std::log(close.values[i] / close.values[i - 1]);
    absent[i + 1] = absent[i] + (usable ? 0 : 1);
  }
  std::vector<double> mean(labelled), variance(labelled);
  if (labelled > 0) {
    const double* x = returns.data() + first + 1;
    window_sums(x, labelled, h, mean.data());
    for (double& v : mean) v = v / static_cast<double>(h);
    window_square_deviations(x, labelled, h, mean.data(), variance.data());
  }
  for (std::size_t t = 0; t < count; ++t) {
    const std::size_t r = first + t;
    if (t < labelled && absent[r + 1 + h] == absent[r + 1]) {
      out[0].set(t, std::sqrt(variance[t] / static_cast<double>(h - 1)));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, count);
}

}  // namespace vexal
