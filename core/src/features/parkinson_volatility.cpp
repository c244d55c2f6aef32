#include "features/parkinson_volatility.hpp"

#include <cmath>
#include <numbers>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

// The nearest double to 4 ln 2 (ln 2 rounded, times an exact 4).
constexpr double four_ln2 = 4.0 * std::numbers::ln2;

OptionalValue parkinson_term(const OptionalValue& high, const OptionalValue& low) {
  if (!high || !low || !(*high > 0.0) || !(*low > 0.0) || !(*high >= *low)) return std::nullopt;
  const double r = std::log(*high / *low);
  return r * r;
}

}  // namespace

std::expected<ParkinsonVolatility, VexalError> ParkinsonVolatility::create(Names inputs, std::size_t window,
                                                                           Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 2, "high and low"), outputs_not_empty(outputs),
                                   window_non_zero(window)))
    return *failure;
  auto terms = all_reserved(reserve_window(window));
  if (!terms) return std::unexpected(std::move(terms.error()));
  return ParkinsonVolatility(std::move(inputs), window, std::move(outputs), std::move(*terms));
}

ParkinsonVolatility::Entries ParkinsonVolatility::entries(std::span<const OptionalValue> values) const {
  return {parkinson_term(values[0], values[1])};
}

UpdateResult ParkinsonVolatility::evaluate(std::span<const OptionalValue>) const {
  const OptionalValue mean = mean_if_complete(buffer(0));
  if (!mean) return {std::nullopt};
  return {std::sqrt(*mean / four_ln2)};
}

void ParkinsonVolatility::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                         std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  const ChunkWindow chunk(buffer(0), n,
                          [&](std::size_t t) { return parkinson_term(in[0].at(t), in[1].at(t)); });
  const std::size_t first = chunk.first_full();
  std::vector<double> sums(n - first);
  if (first < n) window_sums(chunk.window_of(first), n - first, window(), sums.data());
  const auto size = static_cast<double>(window());
  for (std::size_t t = 0; t < n; ++t) {
    if (t >= first && chunk.complete(t)) {
      const double mean = sums[t - first] / size;
      out[0].set(t, std::sqrt(mean / four_ln2));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
