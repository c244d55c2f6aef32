#pragma once

#include <array>
#include <cstddef>
#include <expected>

#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/ema.hpp"
#include "transform_base.hpp"

namespace vexal {

// Moving average convergence/divergence of the first input. Produces
// [macd, signal, histogram]: macd = Ema(fast) − Ema(slow), signal =
// Ema(signal) of macd, histogram = macd − signal; each Ema is the library's,
// seeded with the simple average of its first window and seeded again after
// an absent input, so macd is present from bar slow − 1 and signal from
// bar slow + signal − 2 on gap-free data.
class Macd final : public Composite<Macd, 1, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "Macd";

  [[nodiscard]] static std::expected<Macd, VexalError> create(Names inputs, Names outputs,
                                                              std::size_t fast = 12, std::size_t slow = 26,
                                                              std::size_t signal = 9);

  [[nodiscard]] std::size_t fast() const { return fast_.window(); }
  [[nodiscard]] std::size_t slow() const { return slow_.window(); }
  [[nodiscard]] std::size_t signal() const { return signal_.window(); }

  // Bars before the signal line, the last output to arrive.
  [[nodiscard]] std::size_t warm_up_period() const override { return slow() + signal() - 2; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override;
  // Tag, names, the three periods, then each average's own snapshot.
  void save(SnapshotWriter& out) const override;
  [[nodiscard]] static std::expected<Macd, VexalError> load(SnapshotReader& in);

 private:
  Macd(Names inputs, Names outputs, Ema fast, Ema slow, Ema signal)
      : Composite(std::move(inputs), std::move(outputs)),
        fast_(std::move(fast)),
        slow_(std::move(slow)),
        signal_(std::move(signal)) {}

  // Each average runs over the whole of its line, as it does alone.
  friend Composite;
  template <class Flow>
  void flow(Flow& f, NothingCarried&) {
    const auto fast = f.through(fast_, f.input(0));
    const auto slow = f.through(slow_, f.input(0));
    const auto macd =
        f.map([](const OptionalValue& a,
                 const OptionalValue& b) { return a && b ? OptionalValue(*a - *b) : std::nullopt; },
              fast, slow);
    const auto signal = f.through(signal_, macd);
    f.emit_row(
        [](const OptionalValue& line, const OptionalValue& smooth) {
          if (!smooth) return std::array<OptionalValue, 3>{line, std::nullopt, std::nullopt};
          return std::array<OptionalValue, 3>{line, smooth, *line - *smooth};
        },
        macd, signal);
  }

  Ema fast_;
  Ema slow_;
  Ema signal_;  // fed the macd line
};

template <>
struct Describe<Macd> : Described<Macd> {
  static constexpr std::string_view summary =
      "Moving average convergence/divergence of inputs[0]. outputs: [macd, signal, histogram]. "
      "macd = Ema(fast) - Ema(slow), signal = Ema(signal) of macd, histogram = macd - signal; "
      "every Ema seeded with the simple average of its first window, as ``Ema`` is. Seeding: "
      "the fast Ema is present from bar ``fast`` - 1, the slow from bar ``slow`` - 1, so macd "
      "from bar ``slow`` - 1 and signal from bar ``slow`` + ``signal`` - 2. TA-Lib seeds the "
      "fast EMA at the first bar of the slow one instead, and reports macd only from the first "
      "bar of the signal: the macd and signal lines agree within 1e-9 (relative) once the seeds "
      "have decayed (from about bar 155 for 12/26/9 on daily SPY).";
  static constexpr Option<Macd> options[] = {
      inputs_option<Macd>,
      outputs_option<Macd>,
      {"fast", OptionType::Count, 12, {}, [](const Macd& t) -> OptionValue { return t.fast(); }},
      {"slow", OptionType::Count, 26, {}, [](const Macd& t) -> OptionValue { return t.slow(); }},
      {"signal", OptionType::Count, 9, {}, [](const Macd& t) -> OptionValue { return t.signal(); }}};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[macd, signal, histogram]``, ``NaN`` during warm-up.";
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view writes = "macd, signal, histogram";
  static constexpr std::string_view options_note = "fast=12, slow=26, signal=9";
  static constexpr std::string_view warm_up = "slow + signal − 2";
  static constexpr std::string_view talib = "MACD: converges (bar ~155)";
  static constexpr std::string_view state =
      "size fast, size slow, size signal, then the fast, slow and signal `Ema`, each a whole "
      "object with its tag";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Macd([\"close\"], [\"macd\", \"signal\", \"histogram\"])";
};

}  // namespace vexal
