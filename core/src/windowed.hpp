#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "error.hpp"
#include "internal_failure.hpp"
#include "saturating.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"
#include "transform_base.hpp"
#include "value_buffer.hpp"

namespace vexal {

// A constructor check: success, or the InvalidInput error it reports.
using Check = std::expected<void, VexalError>;

[[nodiscard]] inline Check require(bool holds, std::string_view message) {
  if (holds) return {};
  return invalid_input(message);
}

[[nodiscard]] inline Check inputs_not_empty(const Names& inputs) {
  return require(!inputs.empty(), "inputs must not be empty");
}
[[nodiscard]] inline Check outputs_not_empty(const Names& outputs) {
  return require(!outputs.empty(), "outputs must not be empty");
}
[[nodiscard]] inline Check window_non_zero(std::size_t window) {
  return require(window != 0, "window must be non-zero");
}
// "window must be >= 2"; the text is built only when the check fails.
[[nodiscard]] inline Check window_at_least(std::size_t window, std::size_t minimum) {
  if (window >= minimum) return {};
  return invalid_input("window must be >= " + std::to_string(minimum));
}
// "inputs must contain exactly 1 column", "... exactly 2 columns".
[[nodiscard]] inline Check inputs_exactly(const Names& inputs, std::size_t count) {
  if (inputs.size() == count) return {};
  return invalid_input("inputs must contain exactly " + std::to_string(count) +
                       (count == 1 ? " column" : " columns"));
}
// At least as many inputs as `columns` names, e.g. "inputs must contain
// high and low columns" for (2, "high and low").
[[nodiscard]] inline Check inputs_contain(const Names& inputs, std::size_t count, std::string_view columns) {
  if (inputs.size() >= count) return {};
  return invalid_input("inputs must contain " + std::string(columns) + " columns");
}
// Exactly one name per produced value, listed in the message, e.g.
// "outputs must contain exactly 2 names: [slope, r2]".
[[nodiscard]] inline Check outputs_exactly(const Names& outputs, std::size_t count, std::string_view listed) {
  if (outputs.size() == count) return {};
  return invalid_input("outputs must contain exactly " + std::to_string(count) +
                       " names: " + std::string(listed));
}

// The first failed check, in the order given, as the value a create returns:
//   if (auto failure = first_failure(inputs_not_empty(in), ...)) return *failure;
template <class... Checks>
[[nodiscard]] std::optional<std::unexpected<VexalError>> first_failure(const Checks&... checks) {
  const VexalError* failure = nullptr;
  ((failure != nullptr || checks ? void() : void(failure = &checks.error())), ...);
  if (failure == nullptr) return std::nullopt;
  return std::unexpected(*failure);
}

// Buffers reserved together: all of them, or the first failure.
template <std::size_t N>
using BufferSet = std::array<ValueBuffer, N>;

template <class... Made>
[[nodiscard]] std::expected<BufferSet<sizeof...(Made)>, VexalError> all_reserved(Made&&... made) {
  VexalError* failure = nullptr;
  ((failure != nullptr || made ? void() : void(failure = &made.error())), ...);
  if (failure != nullptr) return std::unexpected(std::move(*failure));
  return BufferSet<sizeof...(Made)>{std::move(*made)...};
}

// Options beyond the window travel in a snapshot as sizes and doubles.
inline void write_option(SnapshotWriter& out, std::size_t v) { out.size(v); }
inline void write_option(SnapshotWriter& out, double v) { out.f64(v); }
template <class T>
[[nodiscard]] T read_option(SnapshotReader& in) {
  if constexpr (std::is_same_v<T, double>) {
    return in.f64("option");
  } else {
    return in.size("option");
  }
}
// Read in order: the braces sequence the reads.
template <class... T>
[[nodiscard]] std::tuple<T...> read_options(SnapshotReader& in, std::type_identity<std::tuple<T...>>) {
  return std::tuple<T...>{read_option<T>(in)...};
}

// Every buffer named the same in snapshot errors.
template <std::size_t Buffers>
[[nodiscard]] constexpr std::array<std::string_view, Buffers> labels_all(std::string_view label) {
  std::array<std::string_view, Buffers> labels;
  labels.fill(label);
  return labels;
}

// What the windowed transforms share: the window length, the ring buffers
// holding the last bars, reset, fresh and the default warm-up. `Derived`
// provides `create(inputs, window, outputs, options...)`, and when it takes
// options, `options()` returning them as a tuple in create's order; state
// beyond the buffers is cleared by its `clear_state()`. Its `buffer_labels`
// and `uneven_windows(buffers)`, where it has them, name the buffers in
// snapshot errors. State a snapshot holds ahead of the buffers goes through
// `save_head`, `read_head` (before create) and `restore_head`; state after
// them through `save_state` and `load_state`.
template <class Derived, std::size_t Buffers>
class WindowedState : public NamedTransform {
 public:
  static constexpr std::array<std::string_view, Buffers> buffer_labels = labels_all<Buffers>("window values");

  [[nodiscard]] std::size_t window() const { return window_; }

  // The value of the newest bar needs the `window` bars ending at it.
  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }

  // A bar may reduce each of its windows whole; a recursion without one
  // costs a step.
  [[nodiscard]] std::size_t work_per_bar() const override {
    return Buffers == 0 ? 1 : saturating_mul(window_, Buffers);
  }

  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    const auto& self = static_cast<const Derived&>(*this);
    return fresh_from(std::apply(
        [&](const auto&... option) { return Derived::create(inputs_, window_, outputs_, option...); },
        self.options()));
  }

  void reset() override {
    for (ValueBuffer& b : buffers_) b.clear();
    if constexpr (requires(Derived& d) { d.clear_state(); }) static_cast<Derived&>(*this).clear_state();
  }

  // No options beyond the window.
  [[nodiscard]] std::tuple<> options() const { return {}; }

  // Tag, names, window, options, `Derived`'s head, every buffer, then what
  // `Derived` keeps beyond them (its `save_state`).
  void save(SnapshotWriter& out) const override {
    const auto& self = static_cast<const Derived&>(*this);
    save_names(out, Derived::snapshot_tag);
    out.size(window_);
    std::apply([&](const auto&... option) { (write_option(out, option), ...); }, self.options());
    if constexpr (has_head()) self.save_head(out);
    for (const ValueBuffer& b : buffers_) out.values(b);
    if constexpr (requires(SnapshotWriter& w) { self.save_state(w); }) self.save_state(out);
  }

  // Rebuilds a saved transform (the fields after its tag) through create, so
  // a snapshot passes the constructor's checks; `Derived::load_state` reads
  // the rest.
  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t window = in.size("window");
    using Options = decltype(std::declval<const Derived&>().options());
    const Options options = read_options(in, std::type_identity<Options>{});
    auto head = [&] {
      if constexpr (has_head()) {
        return Derived::read_head(in);
      } else {
        return std::tuple<>{};
      }
    }();
    auto made = in.built(Derived::snapshot_tag, std::apply(
                                                    [&](const auto&... option) {
                                                      return Derived::create(std::move(inputs), window,
                                                                             std::move(outputs), option...);
                                                    },
                                                    options));
    if (!made) return in.failure();
    if constexpr (has_head()) made->restore_head(in, std::move(head));
    for (std::size_t i = 0; i < Buffers; ++i) in.values_into(made->buffers_[i], Derived::buffer_labels[i]);
    // Every update pushes once into every buffer, so each holds the last
    // min(n, capacity) entries of the same n bars.
    std::size_t longest = 0;
    for (const ValueBuffer& b : made->buffers_) longest = std::max(longest, b.size());
    for (const ValueBuffer& b : made->buffers_) {
      if (in.ok() && b.size() != std::min(longest, b.capacity())) {
        in.fail(Derived::uneven_windows(made->buffers_));
      }
    }
    if constexpr (requires(Derived& d) { d.load_state(in); }) made->load_state(in);
    return in.result(std::move(*made));
  }

 protected:
  // Asked inside member bodies, where Derived is complete.
  [[nodiscard]] static constexpr bool has_head() {
    return requires(SnapshotReader& in) { Derived::read_head(in); };
  }

  WindowedState(Names inputs, std::size_t window, Names outputs, BufferSet<Buffers> buffers)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        buffers_(std::move(buffers)),
        window_(window) {}

  // One new entry per buffer, in buffer order.
  using Entries = std::array<OptionalValue, Buffers>;
  void push(const Entries& entries) {
    for (std::size_t i = 0; i < Buffers; ++i) buffers_[i].push_back(entries[i]);
  }

  // What update would give: `entries` pushed for `evaluate` to read, then
  // taken back, newest first.
  template <class Evaluate>
  [[nodiscard]] UpdateResult tentatively(const Entries& entries, Evaluate&& evaluate) {
    std::array<ValueBuffer::Displaced, Buffers> displaced;
    for (std::size_t i = 0; i < Buffers; ++i) displaced[i] = buffers_[i].push_back_undoable(entries[i]);
    const UpdateResult result = evaluate();
    for (std::size_t i = Buffers; i-- > 0;) buffers_[i].undo(displaced[i]);
    return result;
  }

  // The default entries: a bar's first values, one a buffer, for the first
  // `Count` buffers.
  template <std::size_t Count, std::size_t Reads>
  [[nodiscard]] static std::array<OptionalValue, Count> first_values(std::span<const OptionalValue> values) {
    static_assert(Count <= Reads, "more buffers than inputs: Derived supplies its entries");
    std::array<OptionalValue, Count> entries;
    // Rebuilt, not copied: a copy of an absent value reads its unset payload.
    for (std::size_t i = 0; i < Count; ++i) entries[i] = values[i] ? OptionalValue(*values[i]) : std::nullopt;
    return entries;
  }

  [[nodiscard]] ValueBuffer& buffer(std::size_t i) { return buffers_[i]; }
  [[nodiscard]] const ValueBuffer& buffer(std::size_t i) const { return buffers_[i]; }

  [[nodiscard]] static std::string uneven_windows(const BufferSet<Buffers>&) {
    return std::string(Derived::snapshot_tag) + " holds windows of different lengths";
  }

 private:
  BufferSet<Buffers> buffers_;
  std::size_t window_;
};

// A windowed transform. With `Reads` > 0 its update and peek follow from two
// functions of `Derived` (which befriends Windowed): `entries(values)`, the
// bar's new entry for each buffer (by default its first values, one a
// buffer), and `evaluate(values)`, the result once they are in; a bar must
// hold `Reads` values. With `Reads` 0, `Derived` writes update and peek itself.
template <class Derived, std::size_t Buffers, std::size_t Reads = 0>
class Windowed : public WindowedState<Derived, Buffers> {
 public:
  UpdateResult update(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    this->push(self().entries(values));
    return self().evaluate(values);
  }

  UpdateResult peek(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    return this->tentatively(self().entries(values), [&] { return self().evaluate(values); });
  }

 protected:
  using WindowedState<Derived, Buffers>::WindowedState;
  using typename WindowedState<Derived, Buffers>::Entries;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    return this->template first_values<Buffers, Reads>(values);
  }

 private:
  [[nodiscard]] Derived& self() { return static_cast<Derived&>(*this); }
};

template <class Derived, std::size_t Buffers>
class Windowed<Derived, Buffers, 0> : public WindowedState<Derived, Buffers> {
 protected:
  using WindowedState<Derived, Buffers>::WindowedState;
};

}  // namespace vexal
