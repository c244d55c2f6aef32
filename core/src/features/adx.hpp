#pragma once

#include <array>
#include <cstddef>
#include <expected>

#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/wilder_average.hpp"
#include "windowed.hpp"

namespace vexal {

// Wilder's directional movement over `window` bars. Reads high, low, close;
// produces [adx, plus_di, minus_di]. With up = H − H₋₁ and down = L₋₁ − L,
// +DM = up when up > down and up > 0 (else 0), −DM likewise; +DI = 100 ·
// avg(+DM) / avg(TR), −DI = 100 · avg(−DM) / avg(TR), DX = 100 · |+DI − −DI|
// / (+DI + −DI), ADX = avg(DX), every avg a WilderAverage over `window`.
// On gap-free bars the DIs are present from bar `window` (counting from 0),
// ADX from bar 2 · `window` − 1. A bar that is incomplete or has its high below its low drops
// every average and seeding starts again; a zero average range leaves the
// DIs (and so DX) without a value, as does +DI + −DI = 0 for DX.
// The last bar's values; its high and low are absent unless ordered.
struct AdxPrevious {
  OptionalValue high;
  OptionalValue low;
  OptionalValue close;
};

class Adx final : public Composite<Adx, 3, 3, AdxPrevious, Windowed<Adx, 0>> {
 public:
  static constexpr std::string_view snapshot_tag = "Adx";

  [[nodiscard]] static std::expected<Adx, VexalError> create(Names inputs, std::size_t window, Names outputs);

  // Bars before ADX, the last of the three to arrive.
  // Saturating: a window past 2^63 must not wrap the warm-up to a small one.
  [[nodiscard]] std::size_t warm_up_period() const override { return saturating_mul(2, window()) - 1; }

  void clear_state();
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  // A bar's true range and directional moves: all present, or all absent
  // when any is.
  struct Terms {
    OptionalValue range;
    OptionalValue plus_dm;
    OptionalValue minus_dm;
  };
  struct Indicators {
    OptionalValue plus_di;
    OptionalValue minus_di;
    OptionalValue dx;
  };
  [[nodiscard]] static Terms terms(const AdxPrevious& previous, const OptionalValue& high,
                                   const OptionalValue& low);
  // The DIs and DX from the three averages after a bar.
  [[nodiscard]] static Indicators indicators(const OptionalValue& tr, const OptionalValue& plus,
                                             const OptionalValue& minus);
  // What a bar leaves for the next one.
  static void advance(AdxPrevious& previous, const OptionalValue& high, const OptionalValue& low,
                      const OptionalValue& close);

  // The bar's terms, each average over the whole of its line, the
  // indicators, then the average of DX.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, AdxPrevious& previous) {
    const auto bar = f.template map_lines<3>(
        [&previous](const OptionalValue& high, const OptionalValue& low, const OptionalValue& close) {
          const Terms found = terms(previous, high, low);
          advance(previous, high, low, close);
          return std::array{found.range, found.plus_dm, found.minus_dm};
        },
        f.input(0), f.input(1), f.input(2));
    const auto tr = f.through(range_, bar[0]);
    const auto plus = f.through(plus_, bar[1]);
    const auto minus = f.through(minus_, bar[2]);
    const auto found = f.template map_lines<3>(
        [](const OptionalValue& t, const OptionalValue& p, const OptionalValue& m) {
          const Indicators lines = indicators(t, p, m);
          return std::array{lines.dx, lines.plus_di, lines.minus_di};
        },
        tr, plus, minus);
    f.emit(0, f.through(dx_, found[0]));
    f.emit(1, found[1]);
    f.emit(2, found[2]);
  }

  Adx(Names inputs, std::size_t window, Names outputs, WilderAverage range, WilderAverage plus,
      WilderAverage minus, WilderAverage dx)
      : Composite(std::move(inputs), window, std::move(outputs), {}),
        range_(std::move(range)),
        plus_(std::move(plus)),
        minus_(std::move(minus)),
        dx_(std::move(dx)) {}

  WilderAverage range_;
  WilderAverage plus_;
  WilderAverage minus_;
  WilderAverage dx_;
};

template <>
struct Describe<Adx> : Described<Adx> {
  static constexpr std::string_view summary =
      "Wilder's average directional index. inputs: [high, low, close]; outputs: [adx, plus_di, "
      "minus_di]. With up = high - previous high and down = previous low - low, +DM = up if up "
      "> down and up > 0 (else 0), -DM likewise; +DI = 100 * avg(+DM) / avg(TR), -DI = 100 * "
      "avg(-DM) / avg(TR), DX = 100 * |+DI - -DI| / (+DI + -DI), ADX = avg(DX), every avg a "
      "Wilder average over ``window`` bars. Seeding: each average starts as the simple average "
      "of its first ``window`` values, so +DI and -DI are first present at bar ``window`` and "
      "ADX (the average of the first ``window`` DX values) at bar 2 * ``window`` - 1. TA-Lib "
      "sums the directional movements over ``window`` - 1 bars instead: its first ADX differs "
      "by 1.44 points (window 14, daily SPY) and the two agree within 1e-9 (relative) from "
      "about bar 300, +DI and -DI from about bar 250, as the seeds decay.";
  static constexpr Option<Adx> options[] = {inputs_option<Adx>, window_option<Adx>, outputs_option<Adx>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[adx, plus_di, minus_di]``, ``NaN`` during warm-up or on "
      "invalid input.";
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view writes = "adx, plus_di, minus_di";
  static constexpr std::string_view options_note = "window (Wilder)";
  static constexpr std::string_view warm_up = "2w − 1";
  static constexpr std::string_view talib = "ADX, ±DI: converge (bar ~300)";
  static constexpr std::string_view state =
      "size window, value previous high, value previous low, value previous close, then the "
      "Wilder state of the true range, +DM, −DM and DX, in that order";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example =
      "Adx([\"high\", \"low\", \"close\"], 14, [\"adx\", \"plus_di\", \"minus_di\"])";
};

}  // namespace vexal
