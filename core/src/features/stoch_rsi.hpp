#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/rsi.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// The stochastic of the Rsi: k = 100 · (r − lowest) / (highest − lowest)
// over the last `k_window` values r of Rsi(window), and d the simple
// average of k over `d_window` bars. The Rsi is the library's own, its state
// kept after the two windows; an absent Rsi spoils the windows holding it,
// and a flat window (highest = lowest) has no k.
class StochRsi final : public Composite<StochRsi, 1, 2, NothingCarried, Windowed<StochRsi, 2, 0>> {
 public:
  static constexpr std::string_view snapshot_tag = "StochRsi";
  static constexpr std::array<std::string_view, 2> buffer_labels{"rsi values", "k values"};

  [[nodiscard]] static std::expected<StochRsi, VexalError> create(Names inputs, std::size_t window,
                                                                  Names outputs, std::size_t k_window = 5,
                                                                  std::size_t d_window = 3) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_exactly(outputs, 2, "[k, d]"),
                          window_non_zero(window), require(k_window != 0, "k_window must be non-zero"),
                          require(d_window != 0, "d_window must be non-zero")))
      return *failure;
    auto rsi = Rsi::create(inputs, window, outputs);
    if (!rsi) return std::unexpected(std::move(rsi.error()));
    auto buffers = all_reserved(reserve_window(k_window), reserve_window(d_window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return StochRsi(std::move(inputs), window, std::move(outputs), std::move(*buffers), std::move(*rsi),
                    k_window, d_window);
  }

  [[nodiscard]] std::size_t k_window() const { return k_window_; }
  [[nodiscard]] std::size_t d_window() const { return d_window_; }
  [[nodiscard]] std::tuple<std::size_t, std::size_t> options() const { return {k_window(), d_window()}; }

  // Bars before d, the last of the two to arrive.
  [[nodiscard]] std::size_t warm_up_period() const override { return window() + k_window() + d_window() - 2; }
  [[nodiscard]] std::size_t work_per_bar() const override { return 1 + k_window() + d_window(); }

  void clear_state() { rsi_.reset(); }
  void save_state(SnapshotWriter& out) const { rsi_.save_state(out); }
  void load_state(SnapshotReader& in) { rsi_.load_state(in); }

 private:
  StochRsi(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers, Rsi rsi,
           std::size_t k_window, std::size_t d_window)
      : Composite(std::move(inputs), window, std::move(outputs), std::move(buffers)),
        rsi_(std::move(rsi)),
        k_window_(k_window),
        d_window_(d_window) {}

  [[nodiscard]] static OptionalValue k_of(double rsi, double highest_rsi, double lowest_rsi) {
    const double range = highest_rsi - lowest_rsi;
    if (range == 0.0) return std::nullopt;
    return 100.0 * ((rsi - lowest_rsi) / range);
  }

  // The Rsi, its window's extremes, k, then the average of k's window.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, NothingCarried&) {
    const std::size_t n = f.bars();
    const auto& rsis = f.window(buffer(0), f.through(rsi_, f.input(0)));
    const auto high = by_bar(rsis, k_window(), n, highest_kernel);
    const auto low = by_bar(rsis, k_window(), n, lowest_kernel);
    const auto k = f.map_bars([&](std::size_t t) {
      return complete_at(rsis, t) ? k_of(rsis.value(t), high[t], low[t]) : std::nullopt;
    });
    const auto& ks = f.window(buffer(1), k);
    const auto d = means_by_bar(ks, d_window(), n);
    f.emit(0, k);
    f.emit_bars(1, [&](std::size_t t) { return complete_at(ks, t) ? OptionalValue(d[t]) : std::nullopt; });
  }

  Rsi rsi_;
  std::size_t k_window_;
  std::size_t d_window_;
};

template <>
struct Describe<StochRsi> : Described<StochRsi> {
  static constexpr std::string_view summary =
      "Stochastic RSI of inputs[0] (the close). outputs: [k, d]. k = 100 * (r - lowest) / "
      "(highest - lowest) over the last ``k_window`` values r of ``Rsi(window)``, d = mean of k "
      "over ``d_window`` bars; NaN where the window is flat (TA-Lib writes 0 there). k is first "
      "present at bar ``window`` + ``k_window`` - 1, d at bar ``window`` + ``k_window`` + "
      "``d_window`` - 2. TA-Lib's STOCHRSI (fast k and fast d, SMA) agrees from its first value, "
      "bar ``window`` + ``k_window`` + ``d_window`` - 2 (within 1e-9: its Wilder step "
      "multiplies by 1/window and its average keeps a running sum).";
  static constexpr Option<StochRsi> options[] = {
      inputs_option<StochRsi>,
      window_option<StochRsi>,
      outputs_option<StochRsi>,
      {"k_window", OptionType::Count, 5, {}, [](const StochRsi& t) -> OptionValue { return t.k_window(); }},
      {"d_window", OptionType::Count, 3, {}, [](const StochRsi& t) -> OptionValue { return t.d_window(); }}};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[k, d]``, ``NaN`` during warm-up.";
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view writes = "k, d";
  static constexpr std::string_view options_note = "window, k_window=5, d_window=3";
  static constexpr std::string_view warm_up = "w + k_window + d_window − 2";
  static constexpr std::string_view talib = "STOCHRSI: first";
  static constexpr std::string_view state =
      "size window, size k_window, size d_window, values Rsi (k_window), values k (d_window), "
      "then the Rsi's value previous close and its gains' and losses' Wilder state";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "StochRsi([\"close\"], 14, [\"k\", \"d\"])";
};

}  // namespace vexal
