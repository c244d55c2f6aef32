#include "features/kama.hpp"

#include <cmath>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
#include "traits.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

double smoothing_constant(std::size_t period) { return 2.0 / (static_cast<double>(period) + 1.0); }

}  // namespace

std::expected<Kama, VexalError> Kama::create(Names inputs, std::size_t window, Names outputs,
                                             std::size_t fast, std::size_t slow) {
  if (auto failure = first_failure(
          inputs_not_empty(inputs), outputs_not_empty(outputs), require(window != 0, "window must be >= 1"),
          require(fast != 0, "fast must be >= 1"), require(slow > fast, "slow must be > fast")))
    return *failure;
  auto prices = all_reserved(reserve_window(window, 1));
  if (!prices) return std::unexpected(std::move(prices.error()));
  return Kama(std::move(inputs), window, std::move(outputs), smoothing_constant(fast),
              smoothing_constant(slow), std::move(*prices));
}

// The periods are gone, only their constants remain, so the copy is made
// from the validated configuration directly rather than through create.
std::unique_ptr<StreamingTransform> Kama::fresh() const {
  auto prices = all_reserved(reserve_window(window(), 1));
  if (!prices) fresh_failed();
  return std::unique_ptr<StreamingTransform>(
      new Kama(inputs_, window(), outputs_, fast_sc_, slow_sc_, std::move(*prices)));
}

UpdateResult Kama::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  prices().push_back(values[0]);
  if (!prices().full()) return {std::nullopt};
  // A window with a missing price drops the average, so it is seeded again.
  previous_ = next_average();
  return {previous_};
}

UpdateResult Kama::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const auto displaced = prices().push_back_undoable(values[0]);
  const OptionalValue average = prices().full() ? next_average() : std::nullopt;
  prices().undo(displaced);
  return {average};
}

void Kama::save_head(SnapshotWriter& out) const {
  out.f64(fast_sc_);
  out.f64(slow_sc_);
  out.value(previous_);
}

Kama::Head Kama::read_head(SnapshotReader& in) {
  const double fast_sc = in.f64("fast constant");
  const double slow_sc = in.f64("slow constant");
  return {fast_sc, slow_sc, in.value("previous average")};
}

void Kama::restore_head(SnapshotReader& in, const Head& head) {
  if (!(head.slow_sc > 0.0 && head.slow_sc < head.fast_sc && head.fast_sc <= 1.0)) {
    in.fail("Kama smoothing constants fast " + std::to_string(head.fast_sc) + " and slow " +
            std::to_string(head.slow_sc) + " are not 0 < slow < fast <= 1");
    return;
  }
  fast_sc_ = head.fast_sc;
  slow_sc_ = head.slow_sc;
  previous_ = head.previous;
}

OptionalValue Kama::next_average() {
  const auto run = complete_run(prices());
  if (!run) return std::nullopt;
  const std::span<const double> q = *run;
  const std::size_t n = window();
  const double change = std::fabs(q[n] - q[0]);
  double volatility = 0.0;
  for (std::size_t i = 1; i <= n; ++i) volatility += std::fabs(q[i] - q[i - 1]);
  // A flat window has no direction; a NaN volatility fails the test as well.
  const double er = volatility > 0.0 ? change / volatility : 0.0;
  double sc = (fast_sc_ - slow_sc_) * er + slow_sc_;
  sc = sc * sc;
  const double base = previous_ ? *previous_ : q[n - 1];
  return (q[n] - base) * sc + base;
}

// The summed moves of every window come from one column of absolute
// changes, summed window by window in update's order; only the recursion
// itself runs bar after bar.
void Kama::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow chunk(prices(), n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t first = chunk.first_full();
  const std::size_t m = n - first;
  const std::size_t w = window();
  std::vector<double> moves(m == 0 ? 0 : m + w - 1);
  std::vector<double> volatility(m);
  std::vector<double> constants(m);
  if (m > 0) {
    const double* p = chunk.window_of(first);
    for (std::size_t i = 0; i + 1 < m + w; ++i) moves[i] = std::fabs(p[i + 1] - p[i]);
    window_sums(moves.data(), m, w, volatility.data());
    for (std::size_t i = 0; i < m; ++i) {
      const double change = std::fabs(p[i + w] - p[i]);
      const double er = volatility[i] > 0.0 ? change / volatility[i] : 0.0;
      const double sc = (fast_sc_ - slow_sc_) * er + slow_sc_;
      constants[i] = sc * sc;
    }
  }
  for (std::size_t t = 0; t < first; ++t) out[0].set_absent(t);
  OptionalValue previous = previous_;
  for (std::size_t t = first; t < n; ++t) {
    if (!chunk.complete(t)) {
      previous.reset();
      out[0].set_absent(t);
      continue;
    }
    const double price = chunk.value(t);
    const double base = previous ? *previous : chunk.value(t, 1);
    const double average = (price - base) * constants[t - first] + base;
    previous = average;
    out[0].set(t, average);
  }
  previous_ = previous;
  set_absent_from(out, 1, n);
  chunk.store(prices());
}

}  // namespace vexal
