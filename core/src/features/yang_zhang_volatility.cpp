#include "features/yang_zhang_volatility.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"

namespace vexal {
namespace {

bool positive(const OptionalValue& v) { return v && *v > 0.0; }

}  // namespace

YangZhangVolatility::YangZhangVolatility(Names inputs, std::size_t window, Names outputs,
                                         BufferSet<3> buffers)
    : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {
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

void YangZhangVolatility::advance(std::span<const OptionalValue> values) {
  previous_close_ = positive(values[3]) ? values[3] : std::nullopt;
}

OptionalValue YangZhangVolatility::combined(double overnight_var, double open_close_var,
                                            double rs_mean) const {
  const double variance = overnight_var + k_ * open_close_var + (1.0 - k_) * rs_mean;
  if (!(variance >= 0.0)) return std::nullopt;
  return std::sqrt(variance);
}

void YangZhangVolatility::load_state(SnapshotReader& in) {
  previous_close_ = in.value("previous close");
  if (in.ok() && previous_close_ && !positive(previous_close_))
    in.fail("Yang-Zhang's previous close is not > 0");
}

template class WindowedState<YangZhangVolatility, 3>;
template class Stepped<YangZhangVolatility, 3, 4, 1>;

}  // namespace vexal
