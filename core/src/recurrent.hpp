#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <type_traits>
#include <typeinfo>

#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "transform_base.hpp"

namespace vexal {

// A transform whose whole state is a small value carried from one bar to
// the next (a previous close, a running total), written once as a step:
// `Derived::step(carried, bar)` gives the bar's `Produces` values from its
// `Reads` inputs and advances `carried`. Update steps the state; peek steps
// a copy; a run of columns steps a local copy bar after bar and keeps it; a
// universe steps each peer's. So every path does the same arithmetic in the
// same order, and a peek never allocates. Derived saves and loads carried_.
template <class Derived, class Carried, std::size_t Reads, std::size_t Produces = 1>
class Recurrent : public NamedTransform {
  static_assert(std::is_trivially_copyable_v<Carried>, "a peek copies the state");

 public:
  using Row = std::array<OptionalValue, Produces>;
  using Bar = std::span<const OptionalValue, Reads>;

  void reset() override { carried_ = Carried{}; }

  UpdateResult update(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    return as_result(self().step(carried_, values.template first<Reads>()));
  }

  UpdateResult peek(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    Carried copy = carried_;
    return as_result(self().step(copy, values.template first<Reads>()));
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) final {
    require_values(in, Reads);
    require_values(out, Produces);
    Carried carried = carried_;
    for (std::size_t t = 0; t < n; ++t) write_row(out, t, self().step(carried, Bar(bar_at<Reads>(in, t))));
    carried_ = carried;
    set_absent_from(out, Produces, n);
  }

  void update_across(std::span<StreamingTransform* const> peers, std::span<const ColumnIn> in,
                     std::span<const ColumnOut> out, bool commit) final {
    require_values(in, Reads);
    require_values(out, Produces);
    for (std::size_t i = 0; i < peers.size(); ++i) {
      if (typeid(*peers[i]) != typeid(Derived)) throw InternalFailure("a peer of another class");
      Recurrent& peer = static_cast<Derived&>(*peers[i]);
      Carried carried = peer.carried_;
      write_row(out, i, self().step(carried, Bar(bar_at<Reads>(in, i))));
      if (commit) peer.carried_ = carried;
    }
    set_absent_from(out, Produces, peers.size());
  }

 protected:
  using NamedTransform::NamedTransform;

  Carried carried_{};

 private:
  [[nodiscard]] const Derived& self() const { return static_cast<const Derived&>(*this); }
};

}  // namespace vexal
