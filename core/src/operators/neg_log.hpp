#pragma once

#include <expected>
#include <string_view>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Negative natural logarithm of one column; absent unless the value is > 0.
class NegLog final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "NegLog";

  // Rebuilds a saved NegLog (the fields after its tag).
  [[nodiscard]] static std::expected<NegLog, VexalError> load(SnapshotReader& in);
  [[nodiscard]] static std::expected<NegLog, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;
  // Stateless: the peek is the update.
  UpdateResult peek(std::span<const OptionalValue> values) override { return update(values); }
  void save(SnapshotWriter& out) const override;

 private:
  NegLog(Names inputs, Names outputs) : NamedTransform(std::move(inputs), std::move(outputs)) {}
};

}  // namespace vexal
