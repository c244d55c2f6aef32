#pragma once

#include <cstddef>
#include <expected>

#include "columns/chunk_window.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

// What the lookback returns share: the first input's last `window` + 1 values
// and the comparison of the newest with the oldest of them. `Derived`
// supplies `compare(old_value, new_value)`, which decides validity and
// computes the return.
template <class Derived>
class LookbackReturn : public Windowed<Derived, 1, 1> {
  using Base = Windowed<Derived, 1, 1>;

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

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const std::size_t lookback = this->window();
    const ChunkWindow chunk(this->buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
    const std::size_t first = chunk.first_full();
    for (std::size_t t = 0; t < n; ++t) {
      if (t >= first && chunk.present(t, lookback) && chunk.present(t)) {
        out[0].set(t, Derived::compare(chunk.value(t, lookback), chunk.value(t)));
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    chunk.store(this->buffer(0));
  }

 protected:
  using Base::Base;

 private:
  friend Base;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) const {
    const ValueBuffer& values = this->buffer(0);  // room for window + 1
    if (!values.full()) return {std::nullopt};
    const OptionalValue old_value = values.front();
    const OptionalValue new_value = values.back();
    if (!old_value || !new_value) return {std::nullopt};
    return {Derived::compare(*old_value, *new_value)};
  }
};

}  // namespace vexal
