#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Kaufman's adaptive moving average: an exponential recursion whose smoothing
// constant moves between the fast and the slow limit with the efficiency
// ratio (net move over summed absolute moves) of the last `window` changes.
// Seeded with the previous bar's price, and seeded that way again once a
// missing price has left the window.
class Kama final : public Windowed<Kama, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Kama";
  static constexpr std::array<std::string_view, 1> buffer_labels{"prices"};

  [[nodiscard]] static std::expected<Kama, VexalError> create(Names inputs, std::size_t window, Names outputs,
                                                              std::size_t fast = 2, std::size_t slow = 30);

  // 2 / (fast + 1) and 2 / (slow + 1); fast and slow themselves are not kept.
  [[nodiscard]] double fast_constant() const { return fast_sc_; }
  [[nodiscard]] double slow_constant() const { return slow_sc_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

  // The constants and the previous average, stored ahead of the prices. A
  // snapshot is built with the default periods, as only the constants are
  // stored, and they are checked for what any fast < slow gives:
  // 0 < slow constant < fast constant <= 1.
  struct Head {
    double fast_sc;
    double slow_sc;
    OptionalValue previous;
  };
  void clear_state() { previous_.reset(); }
  void save_head(SnapshotWriter& out) const;
  [[nodiscard]] static Head read_head(SnapshotReader& in);
  void restore_head(SnapshotReader& in, const Head& head);

 private:
  Kama(Names inputs, std::size_t window, Names outputs, double fast_sc, double slow_sc, BufferSet<1> prices)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(prices)),
        fast_sc_(fast_sc),
        slow_sc_(slow_sc) {}

  // Room for window + 1 prices: `window` changes.
  [[nodiscard]] ValueBuffer& prices() { return buffer(0); }

  // The next average of a full window of prices, absent when one is
  // missing; reads previous_ but leaves it alone.
  [[nodiscard]] OptionalValue next_average();

  OptionalValue previous_;  // absent until seeded and after a window with a missing price
  double fast_sc_;
  double slow_sc_;
};

template <>
struct Describe<Kama> : Described<Kama> {
  static constexpr std::string_view summary = "Kaufman's Adaptive Moving Average.";
  static constexpr std::string_view formula =
      "kama[t] = kama[t - 1] + sc * (x[t] - kama[t - 1]), sc = (er * (2 / (fast + 1) - 2 / "
      "(slow + 1)) + 2 / (slow + 1))^2, where the efficiency ratio er = |x[t] - x[t - window]| "
      "/ (|x[t] - x[t - 1]| + ... + |x[t - window + 1] - x[t - window]|), 0 for a flat window; "
      "seeded with the previous bar's price.";
  static constexpr Option<Kama> options[] = {inputs_option<Kama>,
                                             window_option<Kama>,
                                             outputs_option<Kama>,
                                             {"fast", OptionType::Count, 2},
                                             {"slow", OptionType::Count, 30}};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window, fast=2, slow=30";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "KAMA: first";
  static constexpr std::string_view state =
      "size window, f64 fast constant 2/(fast+1), f64 slow constant 2/(slow+1), value previous "
      "average, values prices (≤ window + 1)";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Kama([\"close\"], 10, [\"kama\"])";
};

}  // namespace vexal
