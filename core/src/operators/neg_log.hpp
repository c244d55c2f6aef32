#pragma once

#include <expected>
#include <string_view>

#include "error.hpp"
#include "stateless.hpp"

namespace vexal {

// Negative natural logarithm of one column; absent unless the value is > 0.
class NegLog final : public Stateless<NegLog, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "NegLog";

  [[nodiscard]] static std::expected<NegLog, VexalError> create(Names inputs, Names outputs);

 private:
  friend Stateless;
  using Stateless::Stateless;

  [[nodiscard]] static UpdateResult of(std::span<const OptionalValue> values);
};

}  // namespace vexal
