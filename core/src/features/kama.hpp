#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <string_view>
#include <vector>

#include "columns/window_by_bar.hpp"
#include "columns/window_sums.hpp"
#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Kaufman's adaptive moving average: an exponential recursion whose smoothing
// constant moves between the fast and the slow limit with the efficiency
// ratio (net move over summed absolute moves) of the last `window` changes.
// Seeded with the previous bar's price, and seeded that way again once a
// missing price has left the window.
class Kama final : public Composite<Kama, 1, 1, OptionalValue, Windowed<Kama, 1>> {
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

  // The constants and the previous average, stored ahead of the prices. A
  // snapshot is built with the default periods, as only the constants are
  // stored, and they are checked for what any fast < slow gives:
  // 0 < slow constant < fast constant <= 1.
  struct Head {
    double fast_sc;
    double slow_sc;
    OptionalValue previous;
  };
  void clear_state() { carried_.reset(); }
  void save_head(SnapshotWriter& out) const;
  [[nodiscard]] static Head read_head(SnapshotReader& in);
  void restore_head(SnapshotReader& in, const Head& head);

 private:
  Kama(Names inputs, std::size_t window, Names outputs, double fast_sc, double slow_sc, BufferSet<1> prices)
      : Composite(std::move(inputs), window, std::move(outputs), std::move(prices)),
        fast_sc_(fast_sc),
        slow_sc_(slow_sc) {}

  // Each bar's average from its window of prices and the previous average,
  // which is carried: absent until seeded and after a window with a
  // missing price, which drops it, so it is seeded again.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, OptionalValue& previous) {
    // Room for window + 1 prices: `window` changes.
    const auto& prices = f.window(buffer(0), f.input(0));
    const auto constants = smoothing_by_bar(prices, f.bars());
    // On a local, so the recursion's chain stays in registers.
    OptionalValue last = previous;
    f.emit_bars(0, [&](std::size_t t) -> OptionalValue {
      if (!prices.full(t)) return std::nullopt;
      if (!prices.complete(t)) {
        last.reset();
        return std::nullopt;
      }
      // The window's w + 1 prices, oldest first.
      const double* q = prices.window_of(t);
      const double price = q[window()];
      const double base = last ? *last : q[window() - 1];
      const double average = (price - base) * constants[t] + base;
      last = average;
      return average;
    });
    previous = last;
  }

  // The squared smoothing constant of each full window: its efficiency
  // ratio, |net change| over the summed moves, between the two constants.
  // The moves of every window come from one column of absolute changes,
  // summed window by window in order.
  template <class Window>
  [[nodiscard]] auto smoothing_by_bar(const Window& prices, std::size_t n) const {
    auto constants = per_bar<double>(prices);
    const std::size_t first = prices.first_full();
    if (first >= n) return constants;
    const std::size_t m = n - first;
    const std::size_t w = window();
    const double* p = prices.window_of(first);
    const auto squared_constant = [&](std::size_t i, double volatility) {
      const double change = std::fabs(p[i + w] - p[i]);
      // A flat window has no direction; a NaN volatility fails the test as well.
      const double er = volatility > 0.0 ? change / volatility : 0.0;
      const double sc = (fast_sc_ - slow_sc_) * er + slow_sc_;
      return sc * sc;
    };
    if (m == 1) {
      // One window (a live bar): its moves summed here, oldest first from
      // zero, as the kernel sums each window.
      double volatility = 0.0;
      for (std::size_t i = 0; i < w; ++i) volatility += std::fabs(p[i + 1] - p[i]);
      constants[first] = squared_constant(0, volatility);
      return constants;
    }
    moves_.resize(m + w - 1);
    volatility_.resize(m);
    for (std::size_t i = 0; i + 1 < m + w; ++i) moves_[i] = std::fabs(p[i + 1] - p[i]);
    window_sums(moves_.data(), m, w, volatility_.data());
    for (std::size_t i = 0; i < m; ++i) constants[first + i] = squared_constant(i, volatility_[i]);
    return constants;
  }
  double fast_sc_;
  double slow_sc_;
  // A chunk's moves and their window sums, kept from chunk to chunk.
  mutable std::vector<double> moves_;
  mutable std::vector<double> volatility_;
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
