#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"

namespace vexal {

// One column held within [lower, upper]; a bound that is not given leaves
// that side open.
class Clip final : public Elementwise<Clip, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Clip";

  [[nodiscard]] static std::expected<Clip, VexalError> create(Names inputs, Names outputs,
                                                              std::optional<double> lower,
                                                              std::optional<double> upper);
  // Rebuilds a saved Clip (the fields after its tag).
  [[nodiscard]] static std::expected<Clip, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::optional<double> lower() const { return lower_; }
  [[nodiscard]] std::optional<double> upper() const { return upper_; }

  // The names, then each bound as a flag and a value.
  void save(SnapshotWriter& out) const override;

 private:
  friend Elementwise;

  Clip(Names inputs, Names outputs, std::optional<double> lower, std::optional<double> upper)
      : Elementwise(std::move(inputs), std::move(outputs)), lower_(lower), upper_(upper) {}

  // A value equal to a bound is kept as it is (so -0.0 stays -0.0 at a
  // bound of 0), and a NaN fails both comparisons and flows through.
  [[nodiscard]] OptionalValue value(std::span<const OptionalValue, 1> x) const {
    if (!x[0]) return std::nullopt;
    const double v = *x[0];
    if (lower_ && v < *lower_) return *lower_;
    if (upper_ && v > *upper_) return *upper_;
    return v;
  }

  std::optional<double> lower_;
  std::optional<double> upper_;
};

template <>
struct Describe<Clip> : Described<Clip> {
  static constexpr std::string_view summary =
      "inputs[0] held within [lower, upper]: lower where x < lower, upper where x > upper, x otherwise. "
      "``lower=None`` or ``upper=None`` leaves that side open.";
  static constexpr Option<Clip> options[] = {inputs_option<Clip>,
                                             outputs_option<Clip>,
                                             {"lower",
                                              OptionType::OptionalNumber,
                                              {},
                                              {},
                                              [](const Clip& t) -> OptionValue { return t.lower(); },
                                              true},
                                             {"upper",
                                              OptionType::OptionalNumber,
                                              {},
                                              {},
                                              [](const Clip& t) -> OptionValue { return t.upper(); },
                                              true}};
  static constexpr std::string_view update_doc = "Process one bar. Returns ``[NaN]`` if input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view options_note = "lower=None, upper=None";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "lower and upper each as u8 present (0: open) and f64 bound";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Clip([\"z\"], [\"z_clipped\"], lower=-3.0, upper=3.0)";
};

}  // namespace vexal
