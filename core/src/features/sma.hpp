#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Simple moving average of the first input over the last `window` bars.
class Sma final : public Windowed<Sma, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Sma";

  [[nodiscard]] static std::expected<Sma, VexalError> create(Names inputs, std::size_t window, Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend Windowed;

  using Windowed::Windowed;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values) const;
};

}  // namespace vexal
