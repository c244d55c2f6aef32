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
  if (inputs.empty()) return invalid_input("inputs must not be empty");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  if (window == 0) return invalid_input("window must be >= 1");
  if (fast == 0) return invalid_input("fast must be >= 1");
  if (slow <= fast) return invalid_input("slow must be > fast");
  auto prices = reserve_window(window, 1);
  if (!prices) return std::unexpected(std::move(prices.error()));
  return Kama(std::move(inputs), window, std::move(outputs), smoothing_constant(fast),
              smoothing_constant(slow), std::move(*prices));
}

// The periods are gone, only their constants remain, so the copy is made
// from the validated configuration directly rather than through create.
std::unique_ptr<StreamingTransform> Kama::fresh() const {
  auto prices = reserve_window(window_, 1);
  if (!prices) fresh_failed();
  return std::unique_ptr<StreamingTransform>(
      new Kama(inputs_, window_, outputs_, fast_sc_, slow_sc_, std::move(*prices)));
}

void Kama::reset() {
  previous_.reset();
  prices_.clear();
}

UpdateResult Kama::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  prices_.push_back(values[0]);
  if (!prices_.full()) return {std::nullopt};
  // A window with a missing price drops the average, so it is seeded again.
  previous_ = next_average();
  return {previous_};
}

UpdateResult Kama::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const auto displaced = prices_.push_back_undoable(values[0]);
  const OptionalValue average = prices_.full() ? next_average() : std::nullopt;
  prices_.undo(displaced);
  return {average};
}

std::expected<Kama, VexalError> Kama::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t window = in.size("window");
  const double fast_sc = in.f64("fast constant");
  const double slow_sc = in.f64("slow constant");
  const OptionalValue previous = in.value("previous average");
  // The periods are gone; the constructor checks the rest with its defaults.
  auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
  if (!made) return in.failure();
  if (!(slow_sc > 0.0 && slow_sc < fast_sc && fast_sc <= 1.0)) {
    in.fail("Kama smoothing constants fast " + std::to_string(fast_sc) + " and slow " +
            std::to_string(slow_sc) + " are not 0 < slow < fast <= 1");
    return in.failure();
  }
  made->fast_sc_ = fast_sc;
  made->slow_sc_ = slow_sc;
  made->previous_ = previous;
  in.values_into(made->prices_, "prices");
  return in.result(std::move(*made));
}

void Kama::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(window_);
  out.f64(fast_sc_);
  out.f64(slow_sc_);
  out.value(previous_);
  out.values(prices_);
}

OptionalValue Kama::next_average() {
  const auto run = complete_run(prices_);
  if (!run) return std::nullopt;
  const std::span<const OptionalValue> q = *run;
  const std::size_t n = window_;
  const double change = std::fabs(*q[n] - *q[0]);
  double volatility = 0.0;
  for (std::size_t i = 1; i <= n; ++i) volatility += std::fabs(*q[i] - *q[i - 1]);
  // A flat window has no direction; a NaN volatility fails the test as well.
  const double er = volatility > 0.0 ? change / volatility : 0.0;
  double sc = (fast_sc_ - slow_sc_) * er + slow_sc_;
  sc = sc * sc;
  const double base = previous_ ? *previous_ : *q[n - 1];
  return (*q[n] - base) * sc + base;
}

// The summed moves of every window come from one column of absolute
// changes, summed window by window in update's order; only the recursion
// itself runs bar after bar.
void Kama::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ChunkWindow window(prices_, n, [&](std::size_t t) { return in[0].at(t); });
  const std::size_t first = window.first_full();
  const std::size_t m = n - first;
  const std::size_t w = window_;
  std::vector<double> moves(m == 0 ? 0 : m + w - 1);
  std::vector<double> volatility(m);
  std::vector<double> constants(m);
  if (m > 0) {
    const double* p = window.window_of(first);
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
    if (!window.complete(t)) {
      previous.reset();
      out[0].set_absent(t);
      continue;
    }
    const double price = window.value(t);
    const double base = previous ? *previous : window.value(t, 1);
    const double average = (price - base) * constants[t - first] + base;
    previous = average;
    out[0].set(t, average);
  }
  previous_ = previous;
  set_absent_from(out, 1, n);
  window.store(prices_);
}

}  // namespace vexal
