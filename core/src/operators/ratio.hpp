#pragma once

#include <expected>

#include "error.hpp"
#include "stateless.hpp"

namespace vexal {

// Quotient of two columns of the same bar, numerator first; absent when the
// denominator is zero.
class Ratio final : public Stateless<Ratio, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Ratio";

  [[nodiscard]] static std::expected<Ratio, VexalError> create(Names inputs, Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  [[nodiscard]] static OptionalValue quotient(const OptionalValue& x, const OptionalValue& y);

  friend Stateless;
  using Stateless::Stateless;

  [[nodiscard]] static UpdateResult of(std::span<const OptionalValue> values);
};

}  // namespace vexal
