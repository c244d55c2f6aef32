#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "saturating.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"

namespace vexal {

// Sample standard deviation of the next `horizon` close-to-close log returns.
// The output name is derived: input + "_future_ctc_vol_" + horizon.
class FutureCTCVolatility final : public Target {
 public:
  static constexpr std::string_view snapshot_tag = "FutureCTCVolatility";

  [[nodiscard]] static std::expected<FutureCTCVolatility, VexalError> create(std::string input,
                                                                             std::size_t horizon);
  // Rebuilds a saved FutureCTCVolatility (the fields after its tag); the
  // output name is derived again.
  [[nodiscard]] static std::expected<FutureCTCVolatility, VexalError> load(SnapshotReader& in);

  [[nodiscard]] const std::string& input() const { return input_; }
  [[nodiscard]] const std::string& output() const { return output_; }
  [[nodiscard]] std::size_t horizon() const { return horizon_; }

  [[nodiscard]] Names input_names() const override { return {input_}; }
  [[nodiscard]] Names output_names() const override { return {output_}; }
  [[nodiscard]] std::size_t forward_period() const override { return horizon_; }
  // Every labelled bar reduces its whole window, 2 passes.
  [[nodiscard]] std::size_t work_per_bar() const override { return saturating_mul(horizon_, 2); }
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override;
  void save(SnapshotWriter& out) const override;
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override;

 private:
  FutureCTCVolatility(std::string input, std::size_t horizon)
      : input_(std::move(input)),
        output_(input_ + "_future_ctc_vol_" + std::to_string(horizon)),
        horizon_(horizon) {}

  std::string input_;
  std::string output_;
  std::size_t horizon_;
};

template <>
struct Describe<FutureCTCVolatility> : Described<FutureCTCVolatility> {
  static constexpr std::string_view summary = "Future close-to-close realized volatility.";
  static constexpr std::string_view formula =
      "the sample standard deviation (ddof 1) of the next ``horizon`` log returns ln(close[i] / "
      "close[i - 1]), i = t + 1 .. t + horizon.";
  static constexpr Option<FutureCTCVolatility> options[] = {
      {"input",
       OptionType::Name,
       {},
       {},
       [](const FutureCTCVolatility& t) -> OptionValue { return t.input_names().at(0); }},
      horizon_option<FutureCTCVolatility>};
  static constexpr std::string_view family = "targets";
  static constexpr std::string_view state = "text input, size horizon (the output name is derived again)";
  static constexpr MissingPolicy missing = MissingPolicy::EndsWalk;
  static constexpr std::string_view example = "FutureCTCVolatility(\"close\", 5)";
};

}  // namespace vexal
