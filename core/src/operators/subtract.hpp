#pragma once

#include <expected>
#include <string_view>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Difference of two columns of the same bar, minuend first.
class Subtract final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Subtract";

  // Rebuilds a saved Subtract (the fields after its tag).
  [[nodiscard]] static std::expected<Subtract, VexalError> load(SnapshotReader& in);
  [[nodiscard]] static std::expected<Subtract, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;
  // Stateless: the peek is the update.
  UpdateResult peek(std::span<const OptionalValue> values) override { return update(values); }
  void save(SnapshotWriter& out) const override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  Subtract(Names inputs, Names outputs) : NamedTransform(std::move(inputs), std::move(outputs)) {}
};

}  // namespace vexal
