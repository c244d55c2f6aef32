#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "saturating.hpp"
#include "targets/horizon_target.hpp"

namespace vexal {

// Least-squares slope and R² of y on x over the `horizon` bars starting at
// each bar. Columns: x is the first input, y the second; outputs slope, r2.
class FutureLinearSlope final : public HorizonTarget<FutureLinearSlope> {
 public:
  static constexpr std::string_view snapshot_tag = "FutureLinearSlope";

  [[nodiscard]] static std::expected<FutureLinearSlope, VexalError> create(Names inputs, std::size_t horizon,
                                                                           Names outputs);

  // Both results are as long as x. A y longer than x has its tail ignored; a
  // shorter one leaves absent every bar whose window reaches past its end.
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;
  // Every labelled bar reduces its whole window, 3 passes.
  [[nodiscard]] std::size_t work_per_bar() const override { return saturating_mul(horizon_, 3); }

 private:
  using HorizonTarget::HorizonTarget;
};

template <>
struct Describe<FutureLinearSlope> : Described<FutureLinearSlope> {
  static constexpr std::string_view summary =
      "Future OLS slope and R² of y on x over the next ``horizon`` bars.";
  static constexpr Option<FutureLinearSlope> options[] = {
      inputs_option<FutureLinearSlope>, horizon_option<FutureLinearSlope>, outputs_option<FutureLinearSlope>};
  static constexpr std::string_view update_doc = "Output column names (slope, r2).";
  static constexpr std::string_view family = "targets";
  static constexpr std::string_view state = "names inputs, size horizon, names outputs";
  static constexpr MissingPolicy missing = MissingPolicy::EndsWalk;
  static constexpr std::string_view example =
      "FutureLinearSlope([\"open\", \"close\"], 5, [\"fwd_slope\", \"fwd_r2\"])";
};

}  // namespace vexal
