#pragma once

#include <cstddef>

#include "columns/column.hpp"
#include "columns/seeded_run.hpp"
#include "optional_value.hpp"
#include "value_buffer.hpp"
#include "window_stats.hpp"

namespace vexal {

// The recursion the exponential averages share, driven one way for a bar
// and for a column: seeded with the mean of the first full window of
// present values, then `step(average, x)` on each present value; an absent
// value drops the average and seeding starts again. `current` holds the
// average (absent while seeding), `seed` the values of the window being
// seeded (empty once seeded).
struct SeededAverage {
  template <class Step>
  static OptionalValue update(OptionalValue& current, ValueBuffer& seed, const OptionalValue& x,
                              Step&& step) {
    if (current) {
      if (x) {
        current = step(*current, *x);
      } else {
        current.reset();
        seed.clear();
      }
      return current;
    }
    seed.push_back(x);
    const OptionalValue mean = mean_if_complete(seed);
    if (mean) {
      current = mean;
      seed.clear();
    }
    return mean;
  }

  // What update would give, the state left as it is.
  template <class Step>
  static OptionalValue peek(const OptionalValue& current, ValueBuffer& seed, const OptionalValue& x,
                            Step&& step) {
    if (current) return x ? OptionalValue(step(*current, *x)) : std::nullopt;
    const auto displaced = seed.push_back_undoable(x);
    const OptionalValue mean = mean_if_complete(seed);
    seed.undo(displaced);
    return mean;
  }

  // update over n bars of x into y: while seeded, the recursion runs in a
  // local over the run of present values, the same step bar after bar.
  template <class Step>
  static void columns(OptionalValue& current, ValueBuffer& seed, ColumnIn x, ColumnOut y, std::size_t n,
                      Step&& step) {
    run_seeded(
        n, [&] { return current.has_value(); },
        [&](std::size_t t) {
          double average = *current;
          for (; t < n && x.valid[t] != 0; ++t) {
            average = step(average, x.values[t]);
            y.set(t, average);
          }
          current = average;
          return t;
        },
        [&](std::size_t t) { y.set(t, update(current, seed, x.at(t), step)); });
  }
};

}  // namespace vexal
