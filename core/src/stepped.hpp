#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "columns/bar_window.hpp"
#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

// A windowed transform written once, as a step: `Derived::step(windows, in,
// out, n)` computes bars 0..n of `Produces` output columns from its
// `Buffers` window views and its `Reads` input columns. Research runs it on
// a chunk (ChunkWindow views, vectorised across bars where its reductions
// allow); update and peek run the very same step on one bar (BarWindow
// views over the live buffers, its columns on the stack). An absent value
// spoils the windows holding it: the step writes a bar whose window is not
// complete as absent.
//
// `entries(values)`, the bar's new entry for each buffer, is by default its
// first values, one a buffer; Derived may supply its own (a per-bar term).
template <class Derived, std::size_t Buffers, std::size_t Reads, std::size_t Produces>
class Stepped : public WindowedState<Derived, Buffers> {
  static_assert(Reads > 0 && Produces > 0);

 public:
  template <class Window>
  using Windows = std::array<Window, Buffers>;

  UpdateResult update(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    this->push(self().entries(values));
    return this_bar(values);
  }

  UpdateResult peek(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    return this->tentatively(self().entries(values), [&] { return this_bar(values); });
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) final {
    require_values(in, Reads);
    require_values(out, Produces);
    const auto run = [&](auto&& term) {
      const Windows<ChunkWindow> windows = [&]<std::size_t... i>(std::index_sequence<i...>) {
        return Windows<ChunkWindow>{
            ChunkWindow(this->buffer(i), n, [&](std::size_t t) { return term(i, t); })...};
      }(std::make_index_sequence<Buffers>{});
      self().step(windows, in, out.first(Produces), n);
      for (std::size_t i = 0; i < Buffers; ++i) windows[i].store(this->buffer(i));
    };
    if constexpr (own_entries() && Buffers == 1) {
      run([&](std::size_t, std::size_t t) { return self().entries(bar_at<Reads>(in, t))[0]; });
    } else if constexpr (own_entries()) {
      // Each bar's entries once, for every buffer to read.
      std::vector<Entries> terms(n);
      for (std::size_t t = 0; t < n; ++t) terms[t] = self().entries(bar_at<Reads>(in, t));
      run([&](std::size_t i, std::size_t t) { return terms[t][i]; });
    } else {
      run([&](std::size_t i, std::size_t t) { return in[i].at(t); });
    }
    set_absent_from(out, Produces, n);
  }

 protected:
  using WindowedState<Derived, Buffers>::WindowedState;
  using typename WindowedState<Derived, Buffers>::Entries;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    return this->template first_values<Reads>(values);
  }

 private:
  [[nodiscard]] Derived& self() { return static_cast<Derived&>(*this); }

  // Whether Derived computes its own entries from a bar.
  [[nodiscard]] static constexpr bool own_entries() {
    return !std::is_same_v<decltype(&Derived::entries), decltype(&Stepped::entries)>;
  }

  // The step on this bar alone: its values as one-bar columns, its results
  // read back from one-bar columns.
  [[nodiscard]] UpdateResult this_bar(std::span<const OptionalValue> values) {
    std::array<double, Reads> value{};
    std::array<std::uint8_t, Reads> valid{};
    std::array<ColumnIn, Reads> in;
    for (std::size_t j = 0; j < Reads; ++j) {
      value[j] = values[j].value_or(0.0);
      valid[j] = values[j] ? 1 : 0;
      in[j] = {&value[j], &valid[j]};
    }
    std::array<double, Produces> result{};
    std::array<std::uint8_t, Produces> given{};
    std::array<ColumnOut, Produces> out;
    for (std::size_t k = 0; k < Produces; ++k) out[k] = {&result[k], &given[k]};
    const Windows<BarWindow> windows = [&]<std::size_t... i>(std::index_sequence<i...>) {
      return Windows<BarWindow>{BarWindow(this->buffer(i))...};
    }(std::make_index_sequence<Buffers>{});
    self().step(windows, std::span<const ColumnIn>(in), std::span<const ColumnOut>(out), 1);
    const auto value_of = [&](std::size_t k) {
      return given[k] != 0 ? OptionalValue(result[k]) : std::nullopt;
    };
    if constexpr (Produces <= UpdateResult::inline_capacity) {
      // Built in place, each value into its inline slot.
      return [&]<std::size_t... k>(std::index_sequence<k...>) {
        return UpdateResult{value_of(k)...};
      }(std::make_index_sequence<Produces>{});
    } else {
      UpdateResult produced;
      for (std::size_t k = 0; k < Produces; ++k) produced.push_back(value_of(k));
      return produced;
    }
  }
};

}  // namespace vexal
