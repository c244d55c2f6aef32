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

void Kama::save_head(SnapshotWriter& out) const {
  out.f64(fast_sc_);
  out.f64(slow_sc_);
  out.value(carried_);
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
  carried_ = head.previous;
}

}  // namespace vexal
