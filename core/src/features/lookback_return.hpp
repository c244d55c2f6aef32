#pragma once

#include <cstddef>
#include <expected>

#include "columns/chunk_window.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"

namespace vexal {

// What the lookback returns share: the first input's last `window` + 1 values
// and the comparison of the newest with the oldest of them. `Derived`
// supplies `compare(old_value, new_value)`, which decides validity and
// computes the return.
template <class Derived>
class LookbackReturn : public Stepped<Derived, 1, 1, 1> {
  using Base = Stepped<Derived, 1, 1, 1>;

 public:
  static constexpr std::array<std::string_view, 1> buffer_labels{"values"};

  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs) {
    if (auto failure =
            first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window, 1));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Derived(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  // A return needs the value `window` bars before the current one.
  [[nodiscard]] std::size_t warm_up_period() const override { return this->window(); }

 protected:
  using Base::Base;

 private:
  friend Base;

  // Only the two ends of the window count: an absent bar between them
  // spoils nothing.
  template <class Window>
  void step(const typename Base::template Windows<Window>& windows, std::span<const ColumnIn>,
            std::span<const ColumnOut> out, std::size_t n) const {
    const Window& xs = windows[0];
    const std::size_t lookback = this->window();
    for (std::size_t t = 0; t < n; ++t) {
      if (xs.full(t) && xs.present(t, lookback) && xs.present(t)) {
        out[0].set(t, Derived::compare(xs.value(t, lookback), xs.value(t)));
      } else {
        out[0].set_absent(t);
      }
    }
  }
};

}  // namespace vexal
