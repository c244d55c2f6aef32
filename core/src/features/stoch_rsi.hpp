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
class StochRsi final : public Windowed<StochRsi, 2> {
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

  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    buffer(0).push_back(rsi_.update(values.first(1))[0]);
    const OptionalValue k = fast_k();
    buffer(1).push_back(k);
    return {k, mean_if_complete(buffer(1))};
  }
  // update's pushes made undoable, then taken back newest first.
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    const auto rsis = buffer(0).push_back_undoable(rsi_.peek(values.first(1))[0]);
    const OptionalValue k = fast_k();
    const auto ks = buffer(1).push_back_undoable(k);
    const UpdateResult result{k, mean_if_complete(buffer(1))};
    buffer(1).undo(ks);
    buffer(0).undo(rsis);
    return result;
  }

  // The Rsi over the chunk, its window extremes, then the average of k.
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 2);
    ColumnBuffer line(n);
    const ColumnOut sink = line.out();
    rsi_.update_columns(in.first(1), std::span(&sink, 1), n);
    const ChunkWindow rsis(buffer(0), n, [&](std::size_t t) { return line.in().at(t); });
    const std::vector<double> high = by_bar(rsis, k_window(), n, highest_kernel);
    const std::vector<double> low = by_bar(rsis, k_window(), n, lowest_kernel);
    std::vector<OptionalValue> k(n);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(rsis, t)) k[t] = k_of(rsis.value(t), high[t], low[t]);
    }
    const ChunkWindow ks(buffer(1), n, [&](std::size_t t) { return k[t]; });
    const std::vector<double> d = means_by_bar(ks, d_window(), n);
    for (std::size_t t = 0; t < n; ++t) {
      out[0].set(t, k[t]);
      if (complete_at(ks, t)) {
        out[1].set(t, d[t]);
      } else {
        out[1].set_absent(t);
      }
    }
    rsis.store(buffer(0));
    ks.store(buffer(1));
  }

  void clear_state() { rsi_.reset(); }
  void save_state(SnapshotWriter& out) const { rsi_.save_state(out); }
  void load_state(SnapshotReader& in) { rsi_.load_state(in); }

 private:
  StochRsi(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers, Rsi rsi,
           std::size_t k_window, std::size_t d_window)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)),
        rsi_(std::move(rsi)),
        k_window_(k_window),
        d_window_(d_window) {}

  [[nodiscard]] static OptionalValue k_of(double rsi, double highest_rsi, double lowest_rsi) {
    const double range = highest_rsi - lowest_rsi;
    if (range == 0.0) return std::nullopt;
    return 100.0 * ((rsi - lowest_rsi) / range);
  }

  // k once the bar's Rsi is in its window.
  [[nodiscard]] OptionalValue fast_k() {
    const auto run = complete_run(buffer(0));
    if (!run) return std::nullopt;
    return k_of(run->back(), highest(*run), lowest(*run));
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
