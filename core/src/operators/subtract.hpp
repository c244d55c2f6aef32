#pragma once

#include <expected>
#include <string_view>

#include "error.hpp"
#include "stateless.hpp"

namespace vexal {

// Difference of two columns of the same bar, minuend first.
class Subtract final : public Stateless<Subtract, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Subtract";

  [[nodiscard]] static std::expected<Subtract, VexalError> create(Names inputs, Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend Stateless;
  using Stateless::Stateless;

  [[nodiscard]] static UpdateResult of(std::span<const OptionalValue> values);
};

}  // namespace vexal
