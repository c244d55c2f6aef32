#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Z-score of each bar against the mean and sample standard deviation of the
// last `window` bars, the current one included.
class RollingZScore final : public Windowed<RollingZScore, 1, 1> {
 public:
  [[nodiscard]] static std::expected<RollingZScore, VexalError> create(Names inputs, std::size_t window,
                                                                       Names outputs);

  static constexpr std::string_view snapshot_tag = "RollingZScore";
  static constexpr std::array<std::string_view, 1> buffer_labels{"values"};

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend Windowed;

  using Windowed::Windowed;

  // The z-score of the newest value against the window as it stands.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values) const;
};

template <>
struct Describe<RollingZScore> : Described<RollingZScore> {
  static constexpr std::string_view summary = "Rolling z-score normalization over a sliding window.";
  static constexpr std::string_view formula =
      "(x[t] - mean) / s over the last ``window`` values, the current one included, with s the "
      "sample standard deviation (ddof 1).";
  static constexpr Option<RollingZScore> options[] = {
      inputs_option<RollingZScore>, window_option<RollingZScore>, outputs_option<RollingZScore>};
  static constexpr std::string_view family = "scalers";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingZScore([\"close\"], 20, [\"z\"])";
};

}  // namespace vexal
