#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "targets/horizon_target.hpp"

namespace vexal {

// Simple return from each bar's close to the close `horizon` bars later.
class FutureReturn final : public HorizonTarget<FutureReturn> {
 public:
  static constexpr std::string_view snapshot_tag = "FutureReturn";

  [[nodiscard]] static std::expected<FutureReturn, VexalError> create(Names inputs, std::size_t horizon,
                                                                      Names outputs);

  // Reads the first column only and returns exactly one column.
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;

 private:
  using HorizonTarget::HorizonTarget;
};

template <>
struct Describe<FutureReturn> : Described<FutureReturn> {
  static constexpr std::string_view summary = "Future simple return over ``horizon`` bars.";
  static constexpr std::string_view formula =
      "close[t + horizon] / close[t] - 1; absent for the last ``horizon`` bars.";
  static constexpr Option<FutureReturn> options[] = {
      inputs_option<FutureReturn>, horizon_option<FutureReturn>, outputs_option<FutureReturn>};
  static constexpr std::string_view family = "targets";
  static constexpr std::string_view state = "names inputs, size horizon, names outputs";
  static constexpr MissingPolicy missing = MissingPolicy::EndsWalk;
  static constexpr std::string_view example = "FutureReturn([\"close\"], 5, [\"fwd_ret\"])";
};

}  // namespace vexal
