#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>

#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "transform_base.hpp"

namespace vexal {

// A recursion that is seeded before it runs (a Wilder average over true
// ranges, two over gains and losses), written once as two steps:
//
//   std::optional<Hot> hot() const           the running recursion's locals,
//                                            absent while seeding
//   bool step(Hot&, Bar, Row&) const         one bar on them; false, with
//                                            nothing changed, for a bar that
//                                            breaks the recursion
//   void resume(const Hot&)                  store the locals back
//   Row seed(Bar) / Row peek_seed(Bar)       update and peek for every bar
//                                            step does not take
//
// Update, peek and a run of columns all step a running recursion the same
// way, the columns on locals bar after bar while the bars allow; every other
// bar goes through seed. So the paths do the same arithmetic in the same
// order, and the live state is the columns' state.
template <class Derived, class Hot, std::size_t Reads, std::size_t Produces, class Base>
class SeededRecursion : public Base {
 public:
  using Row = std::array<OptionalValue, Produces>;
  using Bar = std::span<const OptionalValue, Reads>;

  UpdateResult update(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    const Bar bar = values.template first<Reads>();
    if (std::optional<Hot> hot = self().hot()) {
      Row row;
      if (self().step(*hot, bar, row)) {
        self().resume(*hot);
        return as_result(row);
      }
    }
    return as_result(self().seed(bar));
  }

  UpdateResult peek(std::span<const OptionalValue> values) final {
    require_values(values, Reads);
    const Bar bar = values.template first<Reads>();
    if (std::optional<Hot> hot = self().hot()) {
      Row row;
      if (self().step(*hot, bar, row)) return as_result(row);
    }
    return as_result(self().peek_seed(bar));
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) final {
    require_values(in, Reads);
    require_values(out, Produces);
    std::size_t t = 0;
    while (t < n) {
      if (std::optional<Hot> hot = self().hot()) {
        Row row;
        for (; t < n; ++t) {
          const auto bar = bar_at<Reads>(in, t);
          if (!self().step(*hot, Bar(bar), row)) break;
          write_row(out, t, row);
        }
        self().resume(*hot);
        if (t == n) break;
      }
      const auto bar = bar_at<Reads>(in, t);
      write_row(out, t, self().seed(Bar(bar)));
      ++t;
    }
    set_absent_from(out, Produces, n);
  }

 protected:
  using Base::Base;

 private:
  [[nodiscard]] Derived& self() { return static_cast<Derived&>(*this); }
};

}  // namespace vexal
