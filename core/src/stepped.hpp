#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <typeinfo>
#include <utility>
#include <vector>

#include "columns/bar_window.hpp"
#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/symbols_window.hpp"
#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

// A windowed transform written once, as a step: `Derived::step(windows, in,
// out, n)` computes bars 0..n of `Produces` output columns from its window
// views and its `Reads` input columns. Research runs it on a chunk
// (ChunkWindow views, vectorised across bars where its reductions allow);
// update and peek run the very same step on one bar (BarWindow views over
// the live buffers, its columns on the stack). An absent value spoils the
// windows holding it: the step writes a bar whose window is not complete as
// absent.
//
// The first `Fed` buffers take each bar's entries: `entries(values)`, by
// default its first values, one a buffer; Derived may supply its own (a
// per-bar term). The buffers after them are stages, windows over a line the
// step computes itself (a mean of a mean): the step then takes a `stages`
// argument after the windows, and `stages.stage(i, line)` gives buffer i's
// view once the line's values are in.
//
// Entries may depend on a value Derived carries from the bar before (a
// previous close): Derived then gives `advance(values)`, which update, a run
// of columns (bar after bar, once each bar's entries are taken) and a
// committing universe call after the entries; a peek never does.
//
// A universe of symbols runs the step once for all of them (SymbolsWindow
// views, one symbol a vector lane): each symbol's entries go into its own
// buffers, then the step reads every symbol's windows side by side.
template <class Derived, std::size_t Buffers, std::size_t Reads, std::size_t Produces,
          std::size_t Fed = Buffers>
class Stepped : public WindowedState<Derived, Buffers> {
  static_assert(Reads > 0 && Produces > 0 && Fed > 0 && Fed <= Buffers);

 public:
  template <class Window>
  using Windows = std::array<Window, Fed>;

  UpdateResult update(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    const Entries entries = self().entries(values);
    if constexpr (advances()) self().advance(values);
    for (std::size_t i = 0; i < Fed; ++i) this->buffer(i).push_back(entries[i]);
    BarStages stages(*this, false);
    return this_bar(values, stages);
  }

  // update's pushes made undoable, then taken back newest first.
  UpdateResult peek(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    const Entries entries = self().entries(values);
    std::array<ValueBuffer::Displaced, Fed> displaced;
    for (std::size_t i = 0; i < Fed; ++i) displaced[i] = this->buffer(i).push_back_undoable(entries[i]);
    BarStages stages(*this, true);
    const UpdateResult result = this_bar(values, stages);
    stages.undo();
    for (std::size_t i = Fed; i-- > 0;) this->buffer(i).undo(displaced[i]);
    return result;
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) final {
    require_values(in, Reads);
    require_values(out, Produces);
    const auto run = [&](auto&& term) {
      const Windows<ChunkWindow> windows = [&]<std::size_t... i>(std::index_sequence<i...>) {
        return Windows<ChunkWindow>{
            ChunkWindow(this->buffer(i), n, [&](std::size_t t) { return term(i, t); })...};
      }(std::make_index_sequence<Fed>{});
      ChunkStages stages(*this, n);
      call_step(windows, stages, in, out.first(Produces), n);
      for (std::size_t i = 0; i < Fed; ++i) windows[i].store(this->buffer(i));
      stages.store();
    };
    if constexpr (own_entries() && Fed == 1 && !advances()) {
      run([&](std::size_t, std::size_t t) { return self().entries(bar_at<Reads>(in, t))[0]; });
    } else if constexpr (own_entries()) {
      // Each bar's entries once, for every buffer to read.
      std::vector<Entries> terms(n);
      for (std::size_t t = 0; t < n; ++t) {
        const auto bar = bar_at<Reads>(in, t);
        terms[t] = self().entries(bar);
        if constexpr (advances()) self().advance(bar);
      }
      run([&](std::size_t i, std::size_t t) { return terms[t][i]; });
    } else {
      run([&](std::size_t i, std::size_t t) { return in[i].at(t); });
    }
    set_absent_from(out, Produces, n);
  }

  void update_across(std::span<StreamingTransform* const> peers, std::span<const ColumnIn> in,
                     std::span<const ColumnOut> out, bool commit) final {
    if constexpr (Fed < Buffers) {
      // A stage's line is computed per symbol; each one runs on its own.
      StreamingTransform::update_across(peers, in, out, commit);
    } else {
      require_values(in, Reads);
      require_values(out, Produces);
      const std::size_t n = peers.size();
      SymbolsScratch& scratch = SymbolsScratch::local();
      std::size_t widest = 0;
      for (std::size_t i = 0; i < Fed; ++i) widest = std::max(widest, this->buffer(i).capacity());
      scratch.start(Fed, n, widest);
      const std::span<ValueBuffer::Displaced> displaced = scratch.displaced(commit ? 0 : n * Fed);
      // Each peer's state lies elsewhere in memory: the objects are fetched
      // two strides ahead and their windows one stride ahead.
      constexpr std::size_t kAhead = 8;
      const auto peer_at = [&](std::size_t s) -> Stepped& { return static_cast<Derived&>(*peers[s]); };
      for (std::size_t s = 0; s < n; ++s) {
        if (s + 2 * kAhead < n) __builtin_prefetch(&peer_at(s + 2 * kAhead).buffer(0));
        if (s + kAhead < n) {
          for (std::size_t i = 0; i < Fed; ++i) peer_at(s + kAhead).buffer(i).prefetch();
        }
        if (typeid(*peers[s]) != typeid(Derived)) throw InternalFailure("a peer of another class");
        Stepped& peer = peer_at(s);
        const auto bar = bar_at<Reads>(in, s);
        const Entries entries = peer.self().entries(bar);
        if constexpr (advances()) {
          if (commit) peer.self().advance(bar);
        }
        for (std::size_t i = 0; i < Fed; ++i) {
          ValueBuffer& buffer = peer.buffer(i);
          if (commit) {
            buffer.push_back(entries[i]);
          } else {
            displaced[s * Fed + i] = buffer.push_back_undoable(entries[i]);
          }
          scratch.buffers(i)[s] = &buffer;
        }
      }
      const Windows<SymbolsWindow> windows = [&]<std::size_t... i>(std::index_sequence<i...>) {
        return Windows<SymbolsWindow>{SymbolsWindow(scratch, i)...};
      }(std::make_index_sequence<Fed>{});
      self().step(windows, in, out.first(Produces), n);
      set_absent_from(out, Produces, n);
      if (commit) return;
      for (std::size_t s = 0; s < n; ++s) {
        for (std::size_t i = Fed; i-- > 0;) scratch.buffers(i)[s]->undo(displaced[s * Fed + i]);
      }
    }
  }

 protected:
  using WindowedState<Derived, Buffers>::WindowedState;
  // A bar's entries for the fed buffers.
  using Entries = std::array<OptionalValue, Fed>;

  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    return this->template first_values<Fed, Reads>(values);
  }

  // The stages of one live bar: the line's value pushed (undoably, for a
  // peek) into the stage's buffer, which is then read like the others.
  class BarStages {
   public:
    BarStages(Stepped& owner, bool undoable) : owner_(owner), undoable_(undoable) {}
    template <class Line>
    [[nodiscard]] BarWindow stage(std::size_t i, const Line& line) {
      ValueBuffer& buffer = owner_.buffer(i);
      if (undoable_) {
        displaced_[i - Fed] = buffer.push_back_undoable(line[0]);
      } else {
        buffer.push_back(line[0]);
      }
      return BarWindow(buffer);
    }
    void undo() {
      for (std::size_t i = Buffers; i-- > Fed;) owner_.buffer(i).undo(displaced_[i - Fed]);
    }

   private:
    Stepped& owner_;
    bool undoable_;
    std::array<ValueBuffer::Displaced, Buffers - Fed> displaced_{};
  };

  // The stages of a chunk: a chunk view over each stage's buffer and line,
  // stored back once the step is done.
  class ChunkStages {
   public:
    ChunkStages(Stepped& owner, std::size_t n) : owner_(owner), n_(n) {}
    template <class Line>
    [[nodiscard]] const ChunkWindow& stage(std::size_t i, const Line& line) {
      return made_[i - Fed].emplace(owner_.buffer(i), n_, [&](std::size_t t) { return line[t]; });
    }
    void store() const {
      for (std::size_t k = 0; k < Buffers - Fed; ++k) {
        if (made_[k]) made_[k]->store(owner_.buffer(Fed + k));
      }
    }

   private:
    Stepped& owner_;
    std::size_t n_;
    std::array<std::optional<ChunkWindow>, Buffers - Fed> made_;
  };

 private:
  [[nodiscard]] Derived& self() { return static_cast<Derived&>(*this); }

  // Whether Derived computes its own entries from a bar.
  [[nodiscard]] static constexpr bool own_entries() {
    return !std::is_same_v<decltype(&Derived::entries), decltype(&Stepped::entries)>;
  }

  [[nodiscard]] static constexpr bool advances() {
    return requires(Derived& d, std::span<const OptionalValue> values) { d.advance(values); };
  }

  template <class Windows, class Stages>
  void call_step(const Windows& windows, Stages& stages, std::span<const ColumnIn> in,
                 std::span<const ColumnOut> out, std::size_t n) {
    if constexpr (Fed < Buffers) {
      self().step(windows, stages, in, out, n);
    } else {
      self().step(windows, in, out, n);
    }
  }

  // The step on this bar alone: its values as one-bar columns, its results
  // read back from one-bar columns.
  [[nodiscard]] UpdateResult this_bar(std::span<const OptionalValue> values, BarStages& stages) {
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
    }(std::make_index_sequence<Fed>{});
    call_step(windows, stages, std::span<const ColumnIn>(in), std::span<const ColumnOut>(out), 1);
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
