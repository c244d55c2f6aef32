#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Kaufman's adaptive moving average: an exponential recursion whose smoothing
// constant moves between the fast and the slow limit with the efficiency
// ratio (net move over summed absolute moves) of the last `window` changes.
// Seeded with the previous bar's price, and seeded that way again once a
// missing price has left the window.
class Kama final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Kama";

  [[nodiscard]] static std::expected<Kama, VexalError> create(Names inputs, std::size_t window, Names outputs,
                                                              std::size_t fast = 2, std::size_t slow = 30);
  // Rebuilds a saved Kama (the fields after its tag). Only the smoothing
  // constants are stored, so they are checked for what any fast < slow
  // gives: 0 < slow constant < fast constant <= 1.
  [[nodiscard]] static std::expected<Kama, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::size_t window() const { return window_; }
  // 2 / (fast + 1) and 2 / (slow + 1); fast and slow themselves are not kept.
  [[nodiscard]] double fast_constant() const { return fast_sc_; }
  [[nodiscard]] double slow_constant() const { return slow_sc_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override;
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void save(SnapshotWriter& out) const override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  Kama(Names inputs, std::size_t window, Names outputs, double fast_sc, double slow_sc, ValueBuffer prices)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        prices_(std::move(prices)),
        window_(window),
        fast_sc_(fast_sc),
        slow_sc_(slow_sc) {}

  // The next average of a full window of prices, absent when one is
  // missing; reads previous_ but leaves it alone.
  [[nodiscard]] OptionalValue next_average();

  OptionalValue previous_;  // absent until seeded and after a window with a missing price
  ValueBuffer prices_;      // room for window + 1 prices: `window` changes
  std::size_t window_;
  double fast_sc_;
  double slow_sc_;
};

}  // namespace vexal
