#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "internal_failure.hpp"
#include "saturating.hpp"
#include "targets/horizon_target.hpp"
#include "transform_base.hpp"

namespace vexal {

// Row i of an input column, on either research path. A view shorter than
// the first reads as absent past its end.
struct ViewRows {
  ColumnView view;
  [[nodiscard]] OptionalValue operator()(std::size_t i) const {
    return i < view.size() ? view[i] : std::nullopt;
  }
};
struct SliceRows {
  ColumnIn column;
  [[nodiscard]] OptionalValue operator()(std::size_t i) const { return column.at(i); }
};

// A horizon target with one label per bar, `Derived::label(rows, now, n)`
// from its `Reads` columns over the bars from `now` on, of `n` in all: one
// function labels the whole columns and the slices, so the two paths agree
// to the bit. Extra output names are left to the pipeline, as
// FutureReturn leaves them.
template <class Derived, std::size_t Reads>
class ForwardWindow : public HorizonTarget<Derived> {
 public:
  // Every labelled bar walks its whole window.
  [[nodiscard]] std::size_t work_per_bar() const override { return saturating_add(this->horizon_, 1); }

  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override {
    require_values(columns, Reads);
    std::array<ViewRows, Reads> rows;
    for (std::size_t j = 0; j < Reads; ++j) rows[j] = {columns[j]};
    const std::size_t n = columns[0].size();
    std::vector<Series> out(1, Series(n));
    for (std::size_t t = 0; t < n; ++t) out[0][t] = self().label(rows, t, n);
    return out;
  }

  // The slice reaches `horizon` rows past its last or to the end of the
  // data, so running out of rows is the end of the data.
  void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                         std::span<const ColumnOut> out, std::size_t count) const override {
    require_values(in, Reads);
    require_values(out, 1);
    std::array<SliceRows, Reads> rows;
    for (std::size_t j = 0; j < Reads; ++j) rows[j] = {in[j]};
    for (std::size_t t = 0; t < count; ++t) out[0].set(t, self().label(rows, first + t, m));
    set_absent_from(out, 1, count);
  }

 protected:
  using HorizonTarget<Derived>::HorizonTarget;

  // Whether bar `now` of `n` has its `horizon` bars ahead: compared as a
  // distance, since now + horizon wraps for a horizon near 2^64.
  [[nodiscard]] bool reaches(std::size_t now, std::size_t n) const { return this->horizon_ < n - now; }

 private:
  [[nodiscard]] const Derived& self() const { return static_cast<const Derived&>(*this); }
};

// (highest, or lowest, of x over bars now + 1 .. now + horizon) / close at
// now - 1, for a bar that has its horizon ahead. A close that is absent, NaN
// or not > 0, or an absent x in the window, gives no label; a present NaN
// in the window gives NaN, as numpy's max and min do.
template <bool Highest, class Rows>
[[nodiscard]] OptionalValue extreme_over_close(const Rows& x, const Rows& close, std::size_t now,
                                               std::size_t horizon) {
  const OptionalValue c = close(now);
  if (!c || !(*c > 0.0)) return std::nullopt;
  double extreme = 0.0;
  bool nan = false;
  for (std::size_t k = 1; k <= horizon; ++k) {
    const OptionalValue v = x(now + k);
    if (!v) return std::nullopt;
    nan = nan || std::isnan(*v);
    if (k == 1 || (Highest ? *v > extreme : *v < extreme)) extreme = *v;
  }
  if (nan) return std::numeric_limits<double>::quiet_NaN();
  return extreme / *c - 1.0;
}

}  // namespace vexal
