#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "composite.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/ema.hpp"
#include "features/ema_chain.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// Percentage price oscillator of the first input: (fast − slow) / slow · 100
// over the library's Emas of `fast` and `slow` bars, each seeded with the
// simple average of its first window and seeded again after an absent
// value, so it is present from bar slow − 1 on gap-free data. A zero slow
// average has no value.
class Ppo final : public Composite<Ppo, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Ppo";

  [[nodiscard]] static std::expected<Ppo, VexalError> create(Names inputs, Names outputs,
                                                             std::size_t fast = 12, std::size_t slow = 26) {
    if (auto failure = first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs),
                                     require(fast != 0, "fast must be non-zero"),
                                     require(slow > fast, "slow must be > fast")))
      return *failure;
    // The averages carry the transform's own names, which they never report.
    auto fast_ema = Ema::create(inputs, fast, outputs);
    if (!fast_ema) return std::unexpected(std::move(fast_ema.error()));
    auto slow_ema = Ema::create(inputs, slow, outputs);
    if (!slow_ema) return std::unexpected(std::move(slow_ema.error()));
    return Ppo(std::move(inputs), std::move(outputs), {std::move(*fast_ema), std::move(*slow_ema)});
  }

  [[nodiscard]] std::size_t fast() const { return emas_[0].window(); }
  [[nodiscard]] std::size_t slow() const { return emas_[1].window(); }

  [[nodiscard]] std::size_t warm_up_period() const override { return slow() - 1; }
  [[nodiscard]] std::size_t work_per_bar() const override {
    return emas_[0].work_per_bar() + emas_[1].work_per_bar();
  }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, fast(), slow()));
  }
  void reset() override {
    for (Ema& e : emas_) e.reset();
  }
  // Tag, names, the two periods, then each average whole.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.size(fast());
    out.size(slow());
    for (const Ema& e : emas_) e.save(out);
  }
  [[nodiscard]] static std::expected<Ppo, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t fast = in.size("fast");
    const std::size_t slow = in.size("slow");
    auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), fast, slow));
    if (!made) return in.failure();
    for (Ema& average : made->emas_) {
      if (auto loaded = load_ema(in, snapshot_tag, average.window(), average); !loaded)
        return std::unexpected(std::move(loaded.error()));
    }
    return in.result(std::move(*made));
  }

 private:
  Ppo(Names inputs, Names outputs, std::array<Ema, 2> emas)
      : Composite(std::move(inputs), std::move(outputs)), emas_(std::move(emas)) {}

  friend Composite;
  template <class Flow>
  void flow(Flow& f, NothingCarried&) {
    const auto fast = f.through(emas_[0], f.input(0));
    const auto slow = f.through(emas_[1], f.input(0));
    f.emit_map(0, oscillator, fast, slow);
  }

  [[nodiscard]] static OptionalValue oscillator(const OptionalValue& fast, const OptionalValue& slow) {
    if (!fast || !slow || *slow == 0.0) return std::nullopt;
    return (*fast - *slow) / *slow * 100.0;
  }

  std::array<Ema, 2> emas_;  // fast, slow
};

template <>
struct Describe<Ppo> : Described<Ppo> {
  static constexpr std::string_view summary =
      "Percentage price oscillator of inputs[0]: (Ema(fast) - Ema(slow)) / Ema(slow) * 100, "
      "each Ema seeded with the simple average of its first window, as ``Ema`` is; NaN where "
      "the slow average is 0. Seeding: the fast Ema is present from bar ``fast`` - 1 and the "
      "slow from bar ``slow`` - 1, so the first value is at bar ``slow`` - 1. TA-Lib's PPO "
      "with EMAs (matype=1) seeds the same way and agrees from its first value (within 1e-9).";
  static constexpr Option<Ppo> options[] = {
      inputs_option<Ppo>,
      outputs_option<Ppo>,
      {"fast", OptionType::Count, 12, {}, [](const Ppo& t) -> OptionValue { return t.fast(); }},
      {"slow", OptionType::Count, 26, {}, [](const Ppo& t) -> OptionValue { return t.slow(); }}};
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view options_note = "fast=12, slow=26";
  static constexpr std::string_view warm_up = "slow − 1";
  static constexpr std::string_view talib = "PPO (matype=1): first";
  static constexpr std::string_view state =
      "size fast, size slow, then the fast and slow `Ema`, each a whole object with its tag";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Ppo([\"close\"], [\"ppo\"])";
};

}  // namespace vexal
