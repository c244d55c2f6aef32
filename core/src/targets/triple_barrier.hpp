#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "targets/horizon_target.hpp"

namespace vexal {

// The triple-barrier label of each bar. Inputs: close, scale; outputs:
// label, ret, bars. From a bar with a positive close c0 and a positive scale
// s, walks the next `horizon` closes: the first at or above c0 * (1 + upper *
// s) labels +1, the first at or below c0 * (1 - lower * s) labels -1, none
// labels 0 at the vertical barrier. ret is the close there / c0 - 1, bars the
// bars walked. A missing close on the way, or the end of the data before a
// touch or the vertical barrier, leaves all three absent. A barrier without
// a multiple is not set.
class TripleBarrier final : public Target {
 public:
  static constexpr std::string_view snapshot_tag = "TripleBarrier";

  [[nodiscard]] static std::expected<TripleBarrier, VexalError> create(Names inputs, std::size_t horizon,
                                                                       Names outputs,
                                                                       std::optional<double> upper,
                                                                       std::optional<double> lower);
  [[nodiscard]] static std::expected<TripleBarrier, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::optional<double> upper() const { return upper_; }
  [[nodiscard]] std::optional<double> lower() const { return lower_; }
  [[nodiscard]] std::size_t horizon() const { return horizon_; }

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return horizon_; }
  // A walk may reach the whole horizon before it touches a barrier.
  [[nodiscard]] std::size_t work_per_bar() const override { return horizon_; }
  // Tag, input names, horizon, output names, then each multiple as a flag
  // and a value.
  void save(SnapshotWriter& out) const override;

  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;

 private:
  TripleBarrier(Names inputs, std::size_t horizon, Names outputs, std::optional<double> upper,
                std::optional<double> lower)
      : inputs_(std::move(inputs)),
        outputs_(std::move(outputs)),
        horizon_(horizon),
        upper_(upper),
        lower_(lower) {}

  Names inputs_;
  Names outputs_;
  std::size_t horizon_;
  std::optional<double> upper_;
  std::optional<double> lower_;
};

template <>
struct Describe<TripleBarrier> : Described<TripleBarrier> {
  static constexpr std::string_view summary =
      "Triple-barrier label of each bar. inputs: [close, scale]; outputs: [label, ret, bars]. "
      "From a bar with a positive close c0 and a positive scale s (a volatility, say), walks "
      "the next ``horizon`` closes: the first >= c0 * (1 + upper * s) labels 1, the first <= c0 "
      "* (1 - lower * s) labels -1, and none labels 0 at the last of them. ret = close there / "
      "c0 - 1, bars = the bars walked. A missing close on the way, or the end of the data "
      "before either, leaves all three NaN. ``upper=None`` or ``lower=None`` removes that "
      "barrier.";
  static constexpr Option<TripleBarrier> options[] = {
      inputs_option<TripleBarrier>,
      horizon_option<TripleBarrier>,
      outputs_option<TripleBarrier>,
      {"upper",
       OptionType::OptionalNumber,
       {},
       1.0,
       [](const TripleBarrier& t) -> OptionValue { return t.upper(); }},
      {"lower", OptionType::OptionalNumber, {}, 1.0, [](const TripleBarrier& t) -> OptionValue {
         return t.lower();
       }}};
  static constexpr std::string_view update_doc = "Output column names (label, ret, bars).";
  static constexpr std::string_view family = "labels";
  static constexpr std::string_view state =
      "names inputs, size horizon, names outputs, then upper and lower each as u8 present (0: "
      "no barrier) and f64 multiple";
  static constexpr MissingPolicy missing = MissingPolicy::EndsWalk;
  static constexpr std::string_view example =
      "TripleBarrier([\"close\", \"scale\"], 10, [\"label\", \"ret\", \"bars\"])";
};

}  // namespace vexal
