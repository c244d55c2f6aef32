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
  if (inputs.size() < 2) return invalid_input("inputs must contain high and low columns");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  if (window == 0) return invalid_input("window must be non-zero");
  auto terms = reserve_window(window);
  if (!terms) return std::unexpected(std::move(terms.error()));
  return ParkinsonVolatility(std::move(inputs), window, std::move(outputs), std::move(*terms));
}

std::unique_ptr<StreamingTransform> ParkinsonVolatility::fresh() const {
  return fresh_from(create(inputs_, window_, outputs_));
}

UpdateResult ParkinsonVolatility::update(std::span<const OptionalValue> values) {
  require_values(values, 2);
  terms_.push_back(parkinson_term(values[0], values[1]));
  return {value()};
}

UpdateResult ParkinsonVolatility::peek(std::span<const OptionalValue> values) {
  require_values(values, 2);
  const auto displaced = terms_.push_back_undoable(parkinson_term(values[0], values[1]));
  const OptionalValue result = value();
  terms_.undo(displaced);
  return {result};
}

OptionalValue ParkinsonVolatility::value() const {
  const OptionalValue mean = mean_if_complete(terms_);
  if (!mean) return std::nullopt;
  return std::sqrt(*mean / four_ln2);
}

std::expected<ParkinsonVolatility, VexalError> ParkinsonVolatility::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t window = in.size("window");
  auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
  if (!made) return in.failure();
  in.values_into(made->terms_, "terms");
  return in.result(std::move(*made));
}

void ParkinsonVolatility::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(window_);
  out.values(terms_);
}

void ParkinsonVolatility::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                         std::size_t n) {
  require_values(in, 2);
  require_values(out, 1);
  const ChunkWindow window(terms_, n,
                           [&](std::size_t t) { return parkinson_term(in[0].at(t), in[1].at(t)); });
  const std::size_t first = window.first_full();
  std::vector<double> sums(n - first);
  if (first < n) window_sums(window.window_of(first), n - first, window_, sums.data());
  const auto size = static_cast<double>(window_);
  for (std::size_t t = 0; t < n; ++t) {
    if (t >= first && window.complete(t)) {
      const double mean = sums[t - first] / size;
      out[0].set(t, std::sqrt(mean / four_ln2));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  window.store(terms_);
}

}  // namespace vexal
