#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

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

}  // namespace vexal
