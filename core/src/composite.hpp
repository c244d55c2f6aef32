#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "columns/bar_window.hpp"
#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "transform_base.hpp"
#include "value_buffer.hpp"
#include "whole_store.hpp"

namespace vexal {

// A transform built from others (its components: Emas, an Atr) and the
// arithmetic between their lines, written once as a flow:
//
//   template <class Flow> void flow(Flow& f, Carried& carried)
//
// reads input k as f.input(k), feeds lines through a component with
// f.through(component, lines...), combines lines bar by bar with
// f.map(fn, lines...) (f.map_lines<K> for fn giving K values), and gives
// the outputs with f.emit(k, line), f.emit_map(k, fn, lines...) or
// f.emit_row(fn, lines...) (fn returning a whole row). A stage is a window
// over a line the flow computed: f.window(buffer, line) gives its view (one
// bar's, or a chunk's) for the window kernels over f.bars() bars, and
// f.map_bars(fn) / f.emit_bars(k, fn) take fn(t) for each bar t. `carried`
// is the small state the arithmetic keeps from bar to bar (a previous
// level); fn reaches it by reference.
//
// Update runs the flow on one bar, each component updating; peek runs it
// with each component peeking and a copy of the carried state; research
// runs it on a chunk, each component over the whole of its column, as it
// runs alone, then each fn bar after bar. So every path does the same
// arithmetic in the same order, and the components keep their own kernels.
// v read member by member, which a value just built member by member
// forwards to, then stored with one store, which the next whole copy (a
// component reads its inputs whole) forwards from: no copy waits for the
// cache.
inline void settle(OptionalValue* slot, const OptionalValue& v) {
  store_whole(slot, v.has_value() ? OptionalValue(*v) : std::nullopt);
}

template <bool Commit, std::size_t Produces>
class BarFlow {
 public:
  using Line = OptionalValue;

  explicit BarFlow(std::span<const OptionalValue> values) : values_(values) {}
  BarFlow(const BarFlow&) = delete;
  BarFlow& operator=(const BarFlow&) = delete;
  // A peek's pushes are taken back, newest first.
  ~BarFlow() {
    if constexpr (!Commit) {
      while (undo_.pushed > 0) {
        --undo_.pushed;
        undo_.staged[undo_.pushed]->undo(undo_.displaced[undo_.pushed]);
      }
    }
  }

  // Rebuilt, not copied: a copy of an absent value reads its unset payload.
  [[nodiscard]] Line input(std::size_t k) const {
    return values_[k] ? OptionalValue(*values_[k]) : std::nullopt;
  }
  // The bars a flow runs over: one.
  [[nodiscard]] static constexpr std::size_t bars() { return 1; }

  // `buffer`'s window once the line's value is in it.
  BarWindow window(ValueBuffer& buffer, const Line& line) {
    if constexpr (Commit) {
      buffer.push_back(line);
    } else {
      if (undo_.pushed == kStages) throw InternalFailure("more window stages than a flow holds");
      undo_.staged[undo_.pushed] = &buffer;
      undo_.displaced[undo_.pushed++] = buffer.push_back_undoable(line);
    }
    return BarWindow(buffer);
  }
  // fn(t) for each bar t (here only 0): a line, or output k.
  template <class Fn>
  Line map_bars(Fn&& fn) {
    Line line;
    settle(&line, Line(fn(std::size_t{0})));
    return line;
  }
  template <class Fn>
  void emit_bars(std::size_t k, Fn&& fn) {
    settle(&row_[k], Line(fn(std::size_t{0})));
  }

  template <class Component, class... Lines>
  Line through(Component& component, const Lines&... lines) {
    if constexpr (std::is_base_of_v<StreamingTransform, Component> && sizeof...(Lines) == 1) {
      // Every line is stored whole already: the component reads it in place.
      const std::span<const OptionalValue> in(&first_of(lines...), 1);
      if constexpr (Commit)
        return component.Component::update(in)[0];
      else
        return component.Component::peek(in)[0];
    } else if constexpr (std::is_base_of_v<StreamingTransform, Component>) {
      const auto in = whole(lines...);
      if constexpr (Commit)
        return component.Component::update(in)[0];
      else
        return component.Component::peek(in)[0];
    } else if constexpr (Commit) {
      return component.update(lines...);
    } else {
      return component.peek(lines...);
    }
  }

  template <class Fn, class... Lines>
  Line map(Fn&& fn, const Lines&... lines) {
    Line line;
    settle(&line, Line(fn(lines...)));
    return line;
  }
  // fn giving K values a bar: K lines.
  template <std::size_t K, class Fn, class... Lines>
  std::array<Line, K> map_lines(Fn&& fn, const Lines&... lines) {
    const auto row = fn(lines...);
    std::array<Line, K> split;
    for (std::size_t k = 0; k < K; ++k) settle(&split[k], row[k]);
    return split;
  }

  void emit(std::size_t k, const Line& line) { settle(&row_[k], line); }
  template <class Fn, class... Lines>
  void emit_map(std::size_t k, Fn&& fn, const Lines&... lines) {
    settle(&row_[k], Line(fn(lines...)));
  }
  template <class Fn, class... Lines>
  void emit_row(Fn&& fn, const Lines&... lines) {
    const auto row = fn(lines...);
    for (std::size_t k = 0; k < Produces; ++k) settle(&row_[k], row[k]);
  }

  [[nodiscard]] UpdateResult result() const { return as_result(row_); }

 private:
  template <class First, class... Rest>
  static const First& first_of(const First& first, const Rest&...) {
    return first;
  }

  template <class... Lines>
  static std::array<OptionalValue, sizeof...(Lines)> whole(const Lines&... lines) {
    std::array<OptionalValue, sizeof...(Lines)> in;
    std::size_t k = 0;
    (settle(&in[k++], lines), ...);
    return in;
  }

  static constexpr std::size_t kStages = 4;

  std::span<const OptionalValue> values_;
  std::array<OptionalValue, Produces> row_{};
  // A peek's pushes, to take back; an update keeps none.
  struct Undo {
    std::array<ValueBuffer*, kStages> staged;
    std::array<ValueBuffer::Displaced, kStages> displaced;
    std::size_t pushed = 0;
  };
  struct Nothing {};
  [[no_unique_address]] std::conditional_t<Commit, Nothing, Undo> undo_;
};

class ColumnFlow {
 public:
  using Line = ColumnIn;

  ColumnFlow(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n)
      : in_(in), out_(out), n_(n) {}

  [[nodiscard]] Line input(std::size_t k) const { return in_[k]; }
  [[nodiscard]] std::size_t bars() const { return n_; }

  // `buffer`'s windows over the chunk with the line's values in them; the
  // buffer takes the chunk's last window once the flow is done (store).
  const ChunkWindow& window(ValueBuffer& buffer, const Line& line) {
    staged_.push_back(&buffer);
    return windows_.emplace_back(buffer, n_, [&](std::size_t t) { return line.at(t); });
  }
  void store() const {
    for (std::size_t i = 0; i < staged_.size(); ++i) windows_[i].store(*staged_[i]);
  }
  template <class Fn>
  Line map_bars(Fn&& fn) {
    const ColumnOut sink = line();
    for (std::size_t t = 0; t < n_; ++t) sink.set(t, fn(t));
    return sink.in();
  }
  template <class Fn>
  void emit_bars(std::size_t k, Fn&& fn) {
    for (std::size_t t = 0; t < n_; ++t) out_[k].set(t, fn(t));
  }

  template <class Component, class... Lines>
  Line through(Component& component, const Lines&... lines) {
    const ColumnOut sink = line();
    if constexpr (std::is_base_of_v<StreamingTransform, Component>) {
      const std::array<ColumnIn, sizeof...(Lines)> in{lines...};
      component.Component::update_columns(in, std::span(&sink, 1), n_);
    } else {
      component.update_columns(lines..., sink, n_);
    }
    return sink.in();
  }

  template <class Fn, class... Lines>
  Line map(Fn&& fn, const Lines&... lines) {
    const ColumnOut sink = line();
    for (std::size_t t = 0; t < n_; ++t) sink.set(t, fn(lines.at(t)...));
    return sink.in();
  }
  template <std::size_t K, class Fn, class... Lines>
  std::array<Line, K> map_lines(Fn&& fn, const Lines&... lines) {
    std::array<ColumnOut, K> sinks;
    for (ColumnOut& sink : sinks) sink = line();
    for (std::size_t t = 0; t < n_; ++t) {
      const auto row = fn(lines.at(t)...);
      for (std::size_t k = 0; k < K; ++k) sinks[k].set(t, row[k]);
    }
    std::array<Line, K> split;
    for (std::size_t k = 0; k < K; ++k) split[k] = sinks[k].in();
    return split;
  }

  void emit(std::size_t k, const Line& line) {
    for (std::size_t t = 0; t < n_; ++t) out_[k].set(t, line.at(t));
  }
  template <class Fn, class... Lines>
  void emit_map(std::size_t k, Fn&& fn, const Lines&... lines) {
    for (std::size_t t = 0; t < n_; ++t) out_[k].set(t, fn(lines.at(t)...));
  }
  template <class Fn, class... Lines>
  void emit_row(Fn&& fn, const Lines&... lines) {
    for (std::size_t t = 0; t < n_; ++t) {
      const auto row = fn(lines.at(t)...);
      for (std::size_t k = 0; k < row.size(); ++k) out_[k].set(t, row[k]);
    }
  }

 private:
  // A line of the chunk's length; a deque keeps the earlier ones in place.
  ColumnOut line() { return lines_.emplace_back(n_).out(); }

  std::span<const ColumnIn> in_;
  std::span<const ColumnOut> out_;
  std::size_t n_;
  std::deque<ColumnBuffer> lines_;
  std::deque<ChunkWindow> windows_;
  std::vector<ValueBuffer*> staged_;
};

// Nothing carried between bars.
struct NothingCarried {};

template <class Derived, std::size_t Reads, std::size_t Produces, class Carried = NothingCarried,
          class Base = NamedTransform>
class Composite : public Base {
 public:
  UpdateResult update(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    BarFlow<true, Produces> f(values);
    self().flow(f, carried_);
    return f.result();
  }

  UpdateResult peek(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    BarFlow<false, Produces> f(values);
    Carried copy = carried_;
    self().flow(f, copy);
    return f.result();
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) final {
    require_values(in, Reads);
    require_values(out, Produces);
    ColumnFlow f(in, out, n);
    self().flow(f, carried_);
    f.store();
    set_absent_from(out, Produces, n);
  }

 protected:
  using Base::Base;

  Carried carried_{};

 private:
  [[nodiscard]] Derived& self() { return static_cast<Derived&>(*this); }
};

}  // namespace vexal
