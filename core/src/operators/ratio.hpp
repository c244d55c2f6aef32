#pragma once

#include <expected>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// Quotient of two columns of the same bar, numerator first; absent when the
// denominator is zero.
class Ratio final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Ratio";

  [[nodiscard]] static std::expected<Ratio, VexalError> create(Names inputs, Names outputs);

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override { return update(values); }
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;
  void save(SnapshotWriter& out) const override { save_names(out, snapshot_tag); }
  [[nodiscard]] static std::expected<Ratio, VexalError> load(SnapshotReader& in);

 private:
  [[nodiscard]] static OptionalValue quotient(const OptionalValue& x, const OptionalValue& y);

  Ratio(Names inputs, Names outputs) : NamedTransform(std::move(inputs), std::move(outputs)) {}
};

}  // namespace vexal
