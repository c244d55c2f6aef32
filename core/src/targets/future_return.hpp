#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "targets/horizon_target.hpp"

namespace vexal {

// Simple return from each bar's close to the close `horizon` bars later.
class FutureReturn final : public HorizonTarget {
 public:
  static constexpr std::string_view snapshot_tag = "FutureReturn";

  // Rebuilds a saved FutureReturn (the fields after its tag).
  [[nodiscard]] static std::expected<FutureReturn, VexalError> load(SnapshotReader& in) {
    return load_fields<FutureReturn>(in);
  }
  [[nodiscard]] static std::expected<FutureReturn, VexalError> create(Names inputs, std::size_t horizon,
                                                                      Names outputs);

  // Reads the first column only and returns exactly one column.
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void save(SnapshotWriter& out) const override { save_fields(out, snapshot_tag); }
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;

 private:
  FutureReturn(Names inputs, std::size_t horizon, Names outputs)
      : HorizonTarget(std::move(inputs), horizon, std::move(outputs)) {}
};

}  // namespace vexal
