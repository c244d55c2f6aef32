#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"
#include "windowed.hpp"

namespace vexal {

// The symmetric CUSUM filter, an event sampler: on Δ, the change of x from
// its last present value, s⁺ = max(0, s⁺ + Δ) and s⁻ = min(0, s⁻ + Δ);
// the output is +1 when s⁺ exceeds the threshold (s⁺ starts again at 0),
// −1 when s⁻ falls below minus it (s⁻ starts again), and 0 otherwise. With
// a second input the bar's threshold is `threshold` times that column (a
// volatility, say). A missing x, or a missing or non-positive threshold,
// gives no value and leaves the sums as they were; a present x is still the
// value the next change is taken from.
class CusumFilter final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "CusumFilter";

  [[nodiscard]] static std::expected<CusumFilter, VexalError> create(Names inputs, double threshold,
                                                                     Names outputs) {
    if (auto failure = first_failure(
            inputs_not_empty(inputs), require(inputs.size() <= 2, "inputs must contain 1 or 2 columns"),
            outputs_not_empty(outputs),
            require(threshold > 0.0 && std::isfinite(threshold), "threshold must be positive and finite")))
      return *failure;
    return CusumFilter(std::move(inputs), std::move(outputs), threshold);
  }

  [[nodiscard]] double threshold() const { return threshold_; }

  // The first present value has no change to add.
  [[nodiscard]] std::size_t warm_up_period() const override { return 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, threshold_, outputs_));
  }
  void reset() override { state_ = {}; }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, inputs_.size());
    return step(values, state_);
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, inputs_.size());
    State scratch = state_;
    return step(values, scratch);
  }

  // Tag, names, threshold, then the last present value and the two sums.
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.f64(threshold_);
    out.value(state_.last);
    out.f64(state_.up);
    out.f64(state_.down);
  }
  [[nodiscard]] static std::expected<CusumFilter, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const double threshold = in.f64("threshold");
    auto made = in.built(snapshot_tag, create(std::move(inputs), threshold, std::move(outputs)));
    if (!made) return in.failure();
    made->state_.last = in.value("last value");
    made->state_.up = in.f64("upward sum");
    made->state_.down = in.f64("downward sum");
    if (in.ok() && !(made->state_.up >= 0.0 && made->state_.down <= 0.0)) {
      in.fail("CusumFilter's upward sum must be >= 0 and its downward sum <= 0");
    }
    return in.result(std::move(*made));
  }

 private:
  struct State {
    OptionalValue last;
    double up = 0.0;
    double down = 0.0;
  };

  CusumFilter(Names inputs, Names outputs, double threshold)
      : NamedTransform(std::move(inputs), std::move(outputs)), threshold_(threshold) {}

  [[nodiscard]] UpdateResult step(std::span<const OptionalValue> values, State& s) const {
    const OptionalValue x = values[0];
    if (!x) return {std::nullopt};
    const OptionalValue last = std::exchange(s.last, x);
    double h = threshold_;
    if (inputs_.size() == 2) {
      const OptionalValue scale = values[1];
      if (!scale || !(*scale > 0.0)) return {std::nullopt};
      h = threshold_ * *scale;
    }
    if (!last) return {std::nullopt};
    const double change = *x - *last;
    s.up = std::max(0.0, s.up + change);
    s.down = std::min(0.0, s.down + change);
    if (s.up > h) {
      s.up = 0.0;
      return {1.0};
    }
    if (s.down < -h) {
      s.down = 0.0;
      return {-1.0};
    }
    return {0.0};
  }

  double threshold_;
  State state_;
};

template <>
struct Describe<CusumFilter> : Described<CusumFilter> {
  static constexpr std::string_view summary =
      "Symmetric CUSUM event filter of inputs[0]. With d the change from the last present "
      "value, s+ = max(0, s+ + d) and s- = min(0, s- + d); the output is 1 when s+ > "
      "threshold (s+ restarts at 0), -1 when s- < -threshold (s- restarts), else 0. With a "
      "second input column the bar's threshold is ``threshold`` times its value. A missing "
      "value, or a missing or non-positive threshold, gives NaN and leaves the sums unchanged.";
  static constexpr Option<CusumFilter> options[] = {
      inputs_option<CusumFilter>,
      {"threshold",
       OptionType::Number,
       {},
       {},
       [](const CusumFilter& t) -> OptionValue { return t.threshold(); }},
      outputs_option<CusumFilter>};
  static constexpr std::string_view family = "events";
  static constexpr std::string_view options_note = "threshold (times a second input, if given)";
  static constexpr std::string_view warm_up = "1";
  static constexpr std::string_view state = "f64 threshold, value last present x, f64 s+, f64 s-";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "CusumFilter([\"close\"], 2.0, [\"event\"])";
};

}  // namespace vexal
