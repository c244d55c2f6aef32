#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "features/ema.hpp"
#include "internal_failure.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// The pieces of a chain of Emas that classes holding one share.
// Each Ema of `emas` over the whole column of the one before it, the first
// over `x`: line i is the output of Ema i.
template <std::size_t N>
[[nodiscard]] std::array<ColumnBuffer, N> chain_columns(std::array<Ema, N>& emas, ColumnIn x, std::size_t n) {
  std::array<ColumnBuffer, N> lines;
  for (std::size_t i = 0; i < N; ++i) {
    lines[i] = ColumnBuffer(n);
    const ColumnOut sink = lines[i].out();
    emas[i].update_columns(std::span(&x, 1), std::span(&sink, 1), n);
    x = lines[i].in();
  }
  return lines;
}

// Reads an Ema that `owner`'s snapshot holds whole, with its tag, into
// `average`, which must be of `window`.
[[nodiscard]] inline std::expected<void, VexalError> load_ema(SnapshotReader& in, std::string_view owner,
                                                              std::size_t window, Ema& average) {
  const std::string tag = in.text("average tag");
  if (!in.ok()) return in.failure();
  if (tag != Ema::snapshot_tag) {
    in.fail(std::string(owner) + " holds a " + tag + " where an Ema belongs");
    return in.failure();
  }
  auto loaded = Ema::load(in);
  if (!loaded) return std::unexpected(std::move(loaded.error()));
  if (loaded->window() != window) {
    in.fail(std::string(owner) + " holds an Ema of window " + std::to_string(loaded->window()) + " where " +
            std::to_string(window) + " belongs");
    return in.failure();
  }
  average = std::move(*loaded);
  return {};
}

// Each Ema of a chain of one window, in order.
template <std::size_t N>
[[nodiscard]] std::expected<void, VexalError> load_chain(SnapshotReader& in, std::string_view owner,
                                                         std::size_t window, std::array<Ema, N>& emas) {
  for (Ema& average : emas) {
    if (auto loaded = load_ema(in, owner, window, average); !loaded) return loaded;
  }
  return {};
}

// N Emas of one window in a chain: the first over the input, each next one
// over the one before it, and the output a combination of their levels
// (`Derived::combine`). Each Ema is the library's own, in live and research
// alike, seeded with the simple average of its first window and seeded
// again after an absent value, so the output is first present at bar
// N · (window − 1). A snapshot holds the window, then each Ema whole.
template <class Derived, std::size_t N>
class EmaChain : public NamedTransform {
 public:
  using Levels = std::array<OptionalValue, N>;

  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto made = chain(inputs, window, outputs, std::make_index_sequence<N>{});
    if (!made) return std::unexpected(std::move(made.error()));
    return Derived(std::move(inputs), std::move(outputs), std::move(*made));
  }

  [[nodiscard]] std::size_t window() const { return emas_[0].window(); }
  [[nodiscard]] std::size_t warm_up_period() const override { return N * (window() - 1); }
  [[nodiscard]] std::size_t work_per_bar() const override { return N * emas_[0].work_per_bar(); }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, window(), outputs_));
  }
  void reset() override {
    for (Ema& e : emas_) e.reset();
  }
  UpdateResult update(std::span<const OptionalValue> values) override {
    return step(values, [](Ema& e, std::span<const OptionalValue> x) { return e.update(x); });
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    return step(values, [](Ema& e, std::span<const OptionalValue> x) { return e.peek(x); });
  }

  // Each Ema runs over the whole column of the one before it.
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const std::array<ColumnBuffer, N> lines = chain_columns(emas_, in[0], n);
    for (std::size_t t = 0; t < n; ++t) {
      Levels levels;
      for (std::size_t i = 0; i < N; ++i) levels[i] = lines[i].in().at(t);
      out[0].set(t, Derived::combine(levels));
    }
    set_absent_from(out, 1, n);
  }

  void save(SnapshotWriter& out) const override {
    save_names(out, Derived::snapshot_tag);
    out.size(window());
    for (const Ema& e : emas_) e.save(out);
  }

  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t window = in.size("window");
    auto made = in.built(Derived::snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
    if (!made) return in.failure();
    if (auto loaded = load_chain(in, Derived::snapshot_tag, window, made->emas_); !loaded)
      return std::unexpected(std::move(loaded.error()));
    return in.result(std::move(*made));
  }

 protected:
  EmaChain(Names inputs, Names outputs, std::array<Ema, N> emas)
      : NamedTransform(std::move(inputs), std::move(outputs)), emas_(std::move(emas)) {}

 private:
  // The Emas carry the transform's own names, which they never report.
  template <std::size_t... I>
  static std::expected<std::array<Ema, N>, VexalError> chain(const Names& inputs, std::size_t window,
                                                             const Names& outputs,
                                                             std::index_sequence<I...>) {
    std::array<std::expected<Ema, VexalError>, N> made{((void)I, Ema::create(inputs, window, outputs))...};
    for (auto& m : made) {
      if (!m) return std::unexpected(std::move(m.error()));
    }
    return std::array<Ema, N>{std::move(*made[I])...};
  }

  template <class Step>
  UpdateResult step(std::span<const OptionalValue> values, Step&& through) {
    require_values(values, 1);
    Levels levels;
    OptionalValue x = values[0];
    for (std::size_t i = 0; i < N; ++i) {
      x = through(emas_[i], std::span(&x, 1))[0];
      levels[i] = x;
    }
    return {Derived::combine(levels)};
  }

  std::array<Ema, N> emas_;
};

}  // namespace vexal
