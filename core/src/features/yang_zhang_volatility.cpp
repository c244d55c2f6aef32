#include "features/yang_zhang_volatility.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "tools/rolling.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

bool positive(const OptionalValue& v) { return v && *v > 0.0; }

// The sample variance of a full window of present values, or absent.
OptionalValue sample_variance(const ValueBuffer& window) {
  if (!window.complete()) return std::nullopt;
  const auto each = [&](auto&& f) { window.for_each([&](const OptionalValue& v) { f(*v); }); };
  return sample_moments(each, window.size()).variance;
}

}  // namespace

YangZhangVolatility::YangZhangVolatility(Names inputs, std::size_t window, Names outputs,
                                         BufferSet<3> buffers)
    : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)) {
  const double n = static_cast<double>(window);
  k_ = 0.34 / (1.34 + (n + 1.0) / (n - 1.0));
}

std::expected<YangZhangVolatility, VexalError> YangZhangVolatility::create(Names inputs, std::size_t window,
                                                                           Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 4, "open, high, low, and close"),
                                   outputs_not_empty(outputs), window_at_least(window, 2)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return YangZhangVolatility(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

UpdateResult YangZhangVolatility::update(std::span<const OptionalValue> values) {
  require_values(values, 4);
  push(entries(values));
  previous_close_ = positive(values[3]) ? values[3] : std::nullopt;
  return evaluate(values);
}

YangZhangVolatility::Entries YangZhangVolatility::entries(std::span<const OptionalValue> values) const {
  const OptionalValue& open = values[0];
  const OptionalValue& high = values[1];
  const OptionalValue& low = values[2];
  const OptionalValue& close = values[3];
  if (!positive(open) || !positive(high) || !positive(low) || !positive(close) || !(*high >= *low)) {
    return {std::nullopt, std::nullopt, std::nullopt};
  }
  const double o = *open;
  const double h = *high;
  const double l = *low;
  const double c = *close;
  const OptionalValue overnight =
      previous_close_ ? OptionalValue(std::log(o / *previous_close_)) : std::nullopt;
  // RogersSatchellVolatility's term, in its order.
  return {overnight, std::log(c / o), std::log(l / o) * std::log(l / c) + std::log(h / o) * std::log(h / c)};
}

UpdateResult YangZhangVolatility::evaluate(std::span<const OptionalValue>) {
  const OptionalValue overnight_var = sample_variance(buffer(0));
  const OptionalValue open_close_var = sample_variance(buffer(1));
  const OptionalValue rs_mean = mean_if_complete(buffer(2));
  if (!overnight_var || !open_close_var || !rs_mean) return {std::nullopt};
  return {combined(*overnight_var, *open_close_var, *rs_mean)};
}

OptionalValue YangZhangVolatility::combined(double overnight_var, double open_close_var,
                                            double rs_mean) const {
  const double variance = overnight_var + k_ * open_close_var + (1.0 - k_) * rs_mean;
  if (!(variance >= 0.0)) return std::nullopt;
  return std::sqrt(variance);
}

void YangZhangVolatility::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                         std::size_t n) {
  require_values(in, 4);
  require_values(out, 1);
  std::vector<Entries> terms(n);
  for (std::size_t t = 0; t < n; ++t) {
    const auto bar = bar_at<4>(in, t);
    terms[t] = entries(bar);
    previous_close_ = positive(bar[3]) ? bar[3] : std::nullopt;
  }
  const std::size_t w = window();
  const auto column = [&](std::size_t i) {
    return ChunkWindow(buffer(i), n, [&](std::size_t t) { return terms[t][i]; });
  };
  const ChunkWindow overnight = column(0);
  const ChunkWindow open_close = column(1);
  const ChunkWindow rs = column(2);
  const std::vector<double> overnight_mean = means_by_bar(overnight, w, n);
  const std::vector<double> open_close_mean = means_by_bar(open_close, w, n);
  const std::vector<double> overnight_m2 = square_deviations_by_bar(overnight, w, n, overnight_mean);
  const std::vector<double> open_close_m2 = square_deviations_by_bar(open_close, w, n, open_close_mean);
  const std::vector<double> rs_mean = means_by_bar(rs, w, n);
  const auto divisor = static_cast<double>(w - 1);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(overnight, t) && open_close.complete(t) && rs.complete(t)) {
      out[0].set(t, combined(overnight_m2[t] / divisor, open_close_m2[t] / divisor, rs_mean[t]));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  overnight.store(buffer(0));
  open_close.store(buffer(1));
  rs.store(buffer(2));
}

UpdateResult YangZhangVolatility::peek(std::span<const OptionalValue> values) {
  require_values(values, 4);
  return tentatively(entries(values), [&] { return evaluate(values); });
}

void YangZhangVolatility::load_state(SnapshotReader& in) {
  previous_close_ = in.value("previous close");
  if (in.ok() && previous_close_ && !positive(previous_close_))
    in.fail("Yang-Zhang's previous close is not > 0");
}

}  // namespace vexal
