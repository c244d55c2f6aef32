#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <expected>
#include <limits>
#include <memory>
#include <tuple>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// The q-quantile of the first input over the last `window` bars, linearly
// interpolated between order statistics exactly as numpy.quantile's default
// does: with h = (n − 1) · q, a and b the values at ⌊h⌋ and ⌊h⌋ + 1 and t =
// h − ⌊h⌋, a + (b − a) · t for t < 0.5 and b − (b − a) · (1 − t) otherwise.
// A NaN in the window gives NaN. The selection runs in scratch space
// reserved at construction.
class RollingQuantile final : public Stepped<RollingQuantile, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingQuantile";

  [[nodiscard]] static std::expected<RollingQuantile, VexalError> create(Names inputs, std::size_t window,
                                                                         Names outputs, double q = 0.5);

  [[nodiscard]] double q() const { return q_; }
  [[nodiscard]] std::tuple<double> options() const { return {q_}; }

 private:
  friend Stepped;
  // The quantile of the n values copied into the scratch space, reordering
  // them.
  [[nodiscard]] double select(std::size_t n);
  // Selection needs an ordering, which NaN breaks; numpy answers NaN.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) {
    const std::size_t w = window();
    for (std::size_t t = 0; t < n; ++t) {
      if (!complete_at(windows[0], t)) {
        out[0].set_absent(t);
        continue;
      }
      const double* run = windows[0].window_of(t);
      if (std::any_of(run, run + w, [](double v) { return std::isnan(v); })) {
        out[0].set(t, std::numeric_limits<double>::quiet_NaN());
        continue;
      }
      std::copy(run, run + w, scratch_.get());
      out[0].set(t, select(w));
    }
  }

  struct Release {
    void operator()(double* p) const { ::operator delete(p); }
  };
  using Scratch = std::unique_ptr<double, Release>;

  RollingQuantile(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers, double q,
                  Scratch scratch)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)),
        q_(q),
        scratch_(std::move(scratch)) {}

  double q_;
  Scratch scratch_;  // room for `window` values, untouched until used
};

// Its driver is compiled once, in rolling_quantile.cpp.
extern template class WindowedState<RollingQuantile, 1>;
extern template class Stepped<RollingQuantile, 1, 1, 1>;

template <>
struct Describe<RollingQuantile> : Described<RollingQuantile> {
  static constexpr std::string_view summary =
      "The q-quantile of inputs[0] over ``window`` bars, linearly interpolated between order "
      "statistics as numpy.quantile's default is.";
  static constexpr Option<RollingQuantile> options[] = {
      inputs_option<RollingQuantile>,
      window_option<RollingQuantile>,
      outputs_option<RollingQuantile>,
      {"q", OptionType::Number, {}, 0.5, [](const RollingQuantile& t) -> OptionValue { return t.q(); }}};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window, q=0.5 (as numpy)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, f64 q, values window";
  static constexpr std::string_view example = "RollingQuantile([\"close\"], 20, [\"median\"])";
};

}  // namespace vexal
