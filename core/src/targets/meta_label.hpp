#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"

namespace vexal {

// Whether a primary model's side was right. Inputs: label, side; output:
// meta. 1 where the side's sign is a non-zero label's sign, 0 where it is
// not or the label is 0; absent where either is absent or the side is 0.
// Reads only its own bar, so it looks nowhere ahead.
class MetaLabel final : public Target {
 public:
  static constexpr std::string_view snapshot_tag = "MetaLabel";

  [[nodiscard]] static std::expected<MetaLabel, VexalError> create(Names inputs, Names outputs);
  [[nodiscard]] static std::expected<MetaLabel, VexalError> load(SnapshotReader& in);

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return 0; }
  // Tag, input names, output names.
  void save(SnapshotWriter& out) const override;

  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;

 private:
  MetaLabel(Names inputs, Names outputs) : inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}

  Names inputs_;
  Names outputs_;
};

template <>
struct Describe<MetaLabel> : Described<MetaLabel> {
  static constexpr std::string_view summary =
      "Whether a primary model's side was right. inputs: [label, side]. 1 where the sign of the "
      "side is that of a non-zero label, 0 where it is not or the label is 0, NaN where either "
      "is NaN or the side is 0. Reads its own bar only: its forward period is 0.";
  static constexpr Option<MetaLabel> options[] = {inputs_option<MetaLabel>, outputs_option<MetaLabel>};
  static constexpr std::string_view family = "labels";
  static constexpr std::string_view state = "names inputs, names outputs";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "MetaLabel([\"label\", \"side\"], [\"meta\"])";
};

}  // namespace vexal
