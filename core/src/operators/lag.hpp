#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// The first input as it was `k` bars earlier; absent for the first `k` bars
// and wherever that earlier value was absent.
class Lag final : public Stepped<Lag, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Lag";

  [[nodiscard]] static std::expected<Lag, VexalError> create(Names inputs, std::size_t k, Names outputs);

  [[nodiscard]] std::size_t k() const { return window(); }

  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }

 private:
  friend Stepped;
  // The buffer holds the bar and the k before it, so a full window's oldest
  // entry is the lagged value.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const Window& xs = windows[0];
    const std::size_t k = window();
    for (std::size_t t = 0; t < n; ++t) {
      if (xs.full(t) && xs.present(t, k)) {
        out[0].set(t, xs.value(t, k));
      } else {
        out[0].set_absent(t);
      }
    }
  }

  Lag(Names inputs, std::size_t k, Names outputs, BufferSet<1> buffers)
      : Stepped(std::move(inputs), k, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in lag.cpp.
extern template class WindowedState<Lag, 1>;
extern template class Stepped<Lag, 1, 1, 1>;

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
