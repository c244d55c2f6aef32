#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "columns/window_spreads.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Mean absolute deviation of the first input around its window mean:
// Σ |xᵢ − m| / w, with m the window's mean, both sums taken oldest to
// newest from 0.0. An absent value spoils the windows holding it.
class RollingMad final : public Windowed<RollingMad, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingMad";

  [[nodiscard]] static std::expected<RollingMad, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return RollingMad(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const std::size_t w = window();
    const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
    const std::vector<double> mean = means_by_bar(chunk, w, n);
    const std::vector<double> deviations =
        by_bar(chunk, w, n, [&](const double* x, std::size_t count, std::size_t width, double* sums) {
          window_abs_deviations(x, count, width, mean.data() + chunk.first_full(), sums);
        });
    const auto size = static_cast<double>(w);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(chunk, t)) {
        out[0].set(t, deviations[t] / size);
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    chunk.store(buffer(0));
  }

 private:
  friend Windowed;
  using Windowed::Windowed;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) {
    const auto run = complete_run(buffer(0));
    if (!run) return {std::nullopt};
    const double mean = mean_of(*run);
    double deviations = 0.0;
    for (const OptionalValue& v : *run) deviations += std::fabs(*v - mean);
    return {deviations / static_cast<double>(run->size())};
  }
};

template <>
struct Describe<RollingMad> : Described<RollingMad> {
  static constexpr std::string_view summary =
      "Rolling mean absolute deviation of inputs[0] around its window mean over ``window`` bars: "
      "sum(|x[i] - mean|) / window, mean = sum(x[i]) / window. First value at bar ``window`` - 1.";
  static constexpr Option<RollingMad> options[] = {inputs_option<RollingMad>, window_option<RollingMad>,
                                                   outputs_option<RollingMad>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingMad([\"close\"], 20, [\"mad\"])";
};

}  // namespace vexal
