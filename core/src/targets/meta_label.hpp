#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

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

}  // namespace vexal
