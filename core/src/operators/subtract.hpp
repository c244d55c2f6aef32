#pragma once

#include <expected>
#include <string_view>

#include "descriptor.hpp"
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

template <>
struct Describe<Subtract> : Described<Subtract> {
  static constexpr std::string_view summary = "Element-wise subtraction: A - B.";
  static constexpr Option<Subtract> options[] = {inputs_option<Subtract>, outputs_option<Subtract>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if either input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view reads = "a, b";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Subtract([\"high\", \"low\"], [\"spread\"])";
};

}  // namespace vexal
