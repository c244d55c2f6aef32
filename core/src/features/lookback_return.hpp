#pragma once

#include <cstddef>
#include <expected>

#include "columns/chunk_window.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// What the lookback returns share: the first input's last `window` + 1 values
// and the comparison of the newest with the oldest of them. `Derived`
// supplies `compare(old_value, new_value)`, which decides validity and
// computes the return.
template <class Derived>
class LookbackReturn : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs) {
    if (inputs.empty()) return invalid_input("inputs must not be empty");
    if (outputs.empty()) return invalid_input("outputs must not be empty");
    if (window == 0) return invalid_input("window must be non-zero");
    auto buffer = reserve_window(window, 1);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    return Derived(std::move(inputs), window, std::move(outputs), std::move(*buffer));
  }

  // Rebuilds a saved return (the fields after its tag).
  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t window = in.size("window");
    auto made = in.built(Derived::snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
    if (!made) return in.failure();
    in.values_into(made->buffer_, "values");
    return in.result(std::move(*made));
  }

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, window_, outputs_));
  }
  void reset() override { buffer_.clear(); }

  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    buffer_.push_back(values[0]);
    return {value()};
  }

  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    const auto displaced = buffer_.push_back_undoable(values[0]);
    const OptionalValue result = value();
    buffer_.undo(displaced);
    return {result};
  }

  void save(SnapshotWriter& out) const override {
    save_names(out, Derived::snapshot_tag);
    out.size(window_);
    out.values(buffer_);
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const ChunkWindow window(buffer_, n, [&](std::size_t t) { return in[0].at(t); });
    const std::size_t first = window.first_full();
    for (std::size_t t = 0; t < n; ++t) {
      if (t >= first && window.present(t, window_) && window.present(t)) {
        out[0].set(t, Derived::compare(window.value(t, window_), window.value(t)));
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    window.store(buffer_);
  }

 protected:
  LookbackReturn(Names inputs, std::size_t window, Names outputs, ValueBuffer buffer)
      : NamedTransform(std::move(inputs), std::move(outputs)), buffer_(std::move(buffer)), window_(window) {}

 private:
  [[nodiscard]] OptionalValue value() const {
    if (!buffer_.full()) return std::nullopt;
    const OptionalValue old_value = buffer_.front();
    const OptionalValue new_value = buffer_.back();
    if (!old_value || !new_value) return std::nullopt;
    return Derived::compare(*old_value, *new_value);
  }

  ValueBuffer buffer_;  // room for window + 1: the current value and `window` before it
  std::size_t window_;
};

}  // namespace vexal
