#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "targets/horizon_target.hpp"

namespace vexal {

// Least-squares slope and R² of y on x over the `horizon` bars starting at
// each bar. Columns: x is the first input, y the second; outputs slope, r2.
class FutureLinearSlope final : public HorizonTarget {
 public:
  static constexpr std::string_view snapshot_tag = "FutureLinearSlope";

  // Rebuilds a saved FutureLinearSlope (the fields after its tag).
  [[nodiscard]] static std::expected<FutureLinearSlope, VexalError> load(SnapshotReader& in) {
    return load_fields<FutureLinearSlope>(in);
  }
  [[nodiscard]] static std::expected<FutureLinearSlope, VexalError> create(Names inputs, std::size_t horizon,
                                                                           Names outputs);

  // Both results are as long as x. A y longer than x has its tail ignored; a
  // shorter one leaves absent every bar whose window reaches past its end.
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void save(SnapshotWriter& out) const override { save_fields(out, snapshot_tag); }
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;

 private:
  FutureLinearSlope(Names inputs, std::size_t horizon, Names outputs)
      : HorizonTarget(std::move(inputs), horizon, std::move(outputs)) {}
};

}  // namespace vexal
