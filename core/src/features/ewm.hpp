#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "columns/column.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// The decay of an exponentially weighted statistic, given as exactly one of
// alpha, span (alpha = 2 / (span + 1)) or halflife (alpha = 1 − exp(ln 0.5 /
// halflife)), as pandas' ewm takes it.
struct EwmDecay {
  std::optional<double> alpha;
  std::optional<double> span;
  std::optional<double> halflife;

  [[nodiscard]] static std::expected<EwmDecay, VexalError> create(std::optional<double> alpha,
                                                                  std::optional<double> span,
                                                                  std::optional<double> halflife) {
    const int given = (alpha ? 1 : 0) + (span ? 1 : 0) + (halflife ? 1 : 0);
    if (auto failure = first_failure(
            require(given == 1, "give exactly one of alpha, span and halflife"),
            require(!alpha || (*alpha > 0.0 && *alpha <= 1.0), "alpha must be in (0, 1]"),
            require(!span || (*span >= 1.0 && std::isfinite(*span)), "span must be finite and >= 1"),
            require(!halflife || (*halflife > 0.0 && std::isfinite(*halflife)),
                    "halflife must be finite and > 0")))
      return *failure;
    return EwmDecay{alpha, span, halflife};
  }

  // The weight of the newest value.
  [[nodiscard]] double weight() const {
    if (alpha) return *alpha;
    if (span) return 2.0 / (*span + 1.0);
    return 1.0 - std::exp(std::log(0.5) / *halflife);
  }

  void save(SnapshotWriter& out) const {
    out.value(alpha);
    out.value(span);
    out.value(halflife);
  }
  [[nodiscard]] static EwmDecay read(SnapshotReader& in) {
    EwmDecay d;
    d.alpha = in.value("alpha");
    d.span = in.value("span");
    d.halflife = in.value("halflife");
    return d;
  }
};

// What the exponentially weighted statistics share: the decay options, a
// recursion over one input whose `State` the step `Derived::step(x, state)`
// carries bar to bar (update, peek and the column path all run it), and a
// snapshot of the decay then the state (`Derived::save_state` and
// `load_state`). An absent value drops the state, and the next present
// value seeds it again.
template <class Derived, class State>
class EwmRecursion : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, Names outputs,
                                                                 std::optional<double> alpha,
                                                                 std::optional<double> span,
                                                                 std::optional<double> halflife) {
    if (auto failure = first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs))) return *failure;
    auto decay = EwmDecay::create(alpha, span, halflife);
    if (!decay) return std::unexpected(std::move(decay.error()));
    return Derived(std::move(inputs), std::move(outputs), *decay);
  }

  [[nodiscard]] std::optional<double> alpha() const { return decay_.alpha; }
  [[nodiscard]] std::optional<double> span() const { return decay_.span; }
  [[nodiscard]] std::optional<double> halflife() const { return decay_.halflife; }

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, outputs_, decay_.alpha, decay_.span, decay_.halflife));
  }
  void reset() override { state_ = {}; }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    return {self().step(values[0], state_)};
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    State scratch = state_;
    return {self().step(values[0], scratch)};
  }
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    for (std::size_t t = 0; t < n; ++t) out[0].set(t, self().step(in[0].at(t), state_));
    set_absent_from(out, 1, n);
  }

  // Tag, names, alpha, span and halflife (each a value, absent when not
  // given), then the state.
  void save(SnapshotWriter& out) const override {
    save_names(out, Derived::snapshot_tag);
    decay_.save(out);
    Derived::save_state(state_, out);
  }
  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const EwmDecay d = EwmDecay::read(in);
    auto made = in.built(Derived::snapshot_tag,
                         create(std::move(inputs), std::move(outputs), d.alpha, d.span, d.halflife));
    if (!made) return in.failure();
    Derived::load_state(made->state_, in);
    return in.result(std::move(*made));
  }

 protected:
  EwmRecursion(Names inputs, Names outputs, EwmDecay decay)
      : NamedTransform(std::move(inputs), std::move(outputs)), decay_(decay), alpha_(decay.weight()) {}

  [[nodiscard]] double alpha_weight() const { return alpha_; }

 private:
  [[nodiscard]] const Derived& self() const { return static_cast<const Derived&>(*this); }

  EwmDecay decay_;
  double alpha_;
  State state_{};
};

}  // namespace vexal
