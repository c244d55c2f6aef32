#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// The first input as it was `k` bars earlier; absent for the first `k` bars
// and wherever that earlier value was absent.
class Lag final : public Windowed<Lag, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Lag";

  [[nodiscard]] static std::expected<Lag, VexalError> create(Names inputs, std::size_t k, Names outputs);

  [[nodiscard]] std::size_t k() const { return window(); }

  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<Lag, 1, 1>;
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  Lag(Names inputs, std::size_t k, Names outputs, BufferSet<1> buffers)
      : Windowed(std::move(inputs), k, std::move(outputs), std::move(buffers)) {}
};

template <>
struct Describe<Lag> : Described<Lag> {
  static constexpr std::string_view summary = "inputs[0] as it was ``k`` bars earlier.";
  static constexpr std::string_view formula = "x[t - k]; absent for the first ``k`` bars.";
  static constexpr Option<Lag> options[] = {
      inputs_option<Lag>,
      {"k", OptionType::Count, {}, {}, [](const Lag& t) -> OptionValue { return t.k(); }},
      outputs_option<Lag>};
  static constexpr std::string_view family = "returns";
  static constexpr std::string_view options_note = "k";
  static constexpr std::string_view warm_up = "k";
  static constexpr std::string_view state = "size k, values (≤ k + 1)";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Lag([\"close\"], 1, [\"prev_close\"])";
};

}  // namespace vexal
