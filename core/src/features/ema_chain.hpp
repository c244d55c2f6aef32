#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "composite.hpp"
#include "features/ema.hpp"
#include "internal_failure.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// The pieces of a chain of Emas that classes holding one share.
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
template <class Derived, std::size_t N, class Carried = NothingCarried>
class EmaChain : public Composite<Derived, 1, 1, Carried> {
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
    return fresh_from(create(this->inputs_, window(), this->outputs_));
  }
  void reset() override {
    for (Ema& e : emas_) e.reset();
    this->carried_ = Carried{};
  }
  void save(SnapshotWriter& out) const override {
    this->save_names(out, Derived::snapshot_tag);
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
      : Composite<Derived, 1, 1, Carried>(std::move(inputs), std::move(outputs)), emas_(std::move(emas)) {}

  // The output from the levels: Derived::combine of them, unless Derived
  // has a finish of its own.
  template <class Flow>
  static void finish(Flow& f, const std::array<typename Flow::Line, N>& levels, Carried&) {
    std::apply(
        [&](const auto&... e) {
          f.emit_map(0, [](const auto&... l) { return Derived::combine({l...}); }, e...);
        },
        levels);
  }

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

  // Each Ema over the whole line of the one before it.
  friend Composite<Derived, 1, 1, Carried>;
  template <class Flow>
  void flow(Flow& f, Carried& carried) {
    std::array<typename Flow::Line, N> levels;
    auto x = f.input(0);
    for (std::size_t i = 0; i < N; ++i) {
      x = f.through(emas_[i], x);
      levels[i] = x;
    }
    Derived::finish(f, levels, carried);
  }

  std::array<Ema, N> emas_;
};

}  // namespace vexal
