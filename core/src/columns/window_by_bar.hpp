#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "columns/bar_window.hpp"
#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_spreads.hpp"
#include "columns/window_sums.hpp"
#include "update_result.hpp"
#include "whole_store.hpp"

namespace vexal {

// The window kernels over a view's full windows (a chunk's, or one live
// bar's), one result per bar: bars before window.first_full() hold 0.0 and
// have no window. Live, the results sit on the stack.

template <class Window, class Kernel>
[[nodiscard]] auto by_bar(const Window& window, std::size_t w, std::size_t n, Kernel kernel) {
  auto out = per_bar<double>(window);
  const std::size_t first = window.first_full();
  if (first < n) kernel(window.rows(first), n - first, w, out.data() + first);
  return out;
}

template <class Window>
[[nodiscard]] auto sums_by_bar(const Window& window, std::size_t w, std::size_t n) {
  return by_bar(window, w, n, [](auto x, std::size_t count, std::size_t size, double* out) {
    window_sums(x, count, size, out);
  });
}

// sums / w: the mean each complete window divides out.
template <class Window>
[[nodiscard]] auto means_by_bar(const Window& window, std::size_t w, std::size_t n) {
  auto out = sums_by_bar(window, w, n);
  const auto size = static_cast<double>(w);
  for (double& v : out) v = v / size;
  return out;
}

template <class Window, class Means>
[[nodiscard]] auto square_deviations_by_bar(const Window& window, std::size_t w, std::size_t n,
                                            const Means& mean) {
  auto out = per_bar<double>(window);
  const std::size_t first = window.first_full();
  if (first < n)
    window_square_deviations(window.rows(first), n - first, w, mean.data() + first, out.data() + first);
  return out;
}

// Σ |x − mean| of each bar's window, about the means given.
template <class Window, class Means>
[[nodiscard]] auto abs_deviations_by_bar(const Window& window, std::size_t w, std::size_t n,
                                         const Means& mean) {
  auto out = per_bar<double>(window);
  const std::size_t first = window.first_full();
  if (first < n)
    window_abs_deviations(window.rows(first), n - first, w, mean.data() + first, out.data() + first);
  return out;
}

// The three co-moment sums of each bar's windows of x and y (see
// window_co_moments), about the windows' means.
template <class Window>
struct CoMoments {
  using PerBar = decltype(per_bar<double>(std::declval<const Window&>()));
  PerBar sxx;
  PerBar sxy;
  PerBar syy;
};

template <class Window>
[[nodiscard]] CoMoments<Window> co_moments_by_bar(const Window& x, const Window& y, std::size_t w,
                                                  std::size_t n) {
  const auto mean_x = means_by_bar(x, w, n);
  const auto mean_y = means_by_bar(y, w, n);
  CoMoments<Window> m{per_bar<double>(x), per_bar<double>(x), per_bar<double>(x)};
  const std::size_t first = x.first_full();
  if (first < n) {
    window_co_moments(x.rows(first), y.rows(first), n - first, w, mean_x.data() + first,
                      mean_y.data() + first, m.sxx.data() + first, m.sxy.data() + first,
                      m.syy.data() + first);
  }
  return m;
}

// Whether bar t's window is full and every entry of it present.
template <class Window>
[[nodiscard, gnu::always_inline]] inline bool complete_at(const Window& window, std::size_t t) {
  return window.full(t) && window.complete(t);
}

// Bar t's value f(t) where its window is complete, absent elsewhere.
template <class Window, class F>
void set_where_complete(const Window& window, std::size_t n, const ColumnOut& out, F&& f) {
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(window, t)) {
      out.set(t, f(t));
    } else {
      out.set_absent(t);
    }
  }
}

// Σ x / Σ y over each bar's windows of x and y (their entries present or
// absent together), absent where Σ y is 0: a volume-weighted mean.
template <class Window>
void write_ratio_of_sums(const Window& x, const Window& y, std::size_t w, std::size_t n,
                         const ColumnOut& out) {
  const auto numerators = sums_by_bar(x, w, n);
  const auto denominators = sums_by_bar(y, w, n);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(x, t) && denominators[t] != 0.0) {
      out.set(t, numerators[t] / denominators[t]);
    } else {
      out.set_absent(t);
    }
  }
}

// √mean of each bar's window of terms where complete; absent where the
// mean is below zero or NaN, as out-of-range bars can make it (the range
// volatilities).
template <class Window>
void write_root_of_means(const Window& window, std::size_t w, std::size_t n, const ColumnOut& out) {
  const auto means = means_by_bar(window, w, n);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(window, t) && means[t] >= 0.0) {
      out.set(t, std::sqrt(means[t]));
    } else {
      out.set_absent(t);
    }
  }
}

// A statistic that is its kernel's result (a rolling extreme): each complete
// window's value into the first output column, absent everywhere else.
template <class Window, class Kernel>
void write_by_bar(const Window& window, std::size_t w, std::size_t n, Kernel kernel,
                  std::span<const ColumnOut> out) {
  const auto values = by_bar(window, w, n, kernel);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(window, t)) {
      out[0].set(t, values[t]);
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
}

// Bar t of the first R input columns, as update receives it. Each value is
// stored whole: readers copy it whole, and a copy of one built member by
// member would wait for both stores to reach the cache.
template <std::size_t R>
[[nodiscard]] std::array<OptionalValue, R> bar_at(std::span<const ColumnIn> in, std::size_t t) {
  std::array<OptionalValue, R> bar;
  for (std::size_t j = 0; j < R; ++j) store_whole(&bar[j], in[j].at(t));
  return bar;
}

// A step's fixed row of values: into bar t of the output columns, and as
// update returns it.
template <std::size_t N>
void write_row(std::span<const ColumnOut> out, std::size_t t, const std::array<OptionalValue, N>& row) {
  for (std::size_t k = 0; k < N; ++k) out[k].set(t, row[k]);
}
template <std::size_t N>
[[nodiscard]] UpdateResult as_result(const std::array<OptionalValue, N>& row) {
  return [&]<std::size_t... k>(std::index_sequence<k...>) {
    return UpdateResult{row[k]...};
  }(std::make_index_sequence<N>{});
}

// A bar's values into the output columns; names beyond them are absent.
inline void set_row(std::span<const ColumnOut> out, std::size_t t, const UpdateResult& row) {
  const std::span<const OptionalValue> values = row.values();
  for (std::size_t k = 0; k < out.size(); ++k) {
    if (k < values.size()) {
      out[k].set(t, values[k]);
    } else {
      out[k].set_absent(t);
    }
  }
}

}  // namespace vexal
