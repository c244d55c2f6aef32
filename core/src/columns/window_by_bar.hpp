#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_spreads.hpp"
#include "columns/window_sums.hpp"
#include "update_result.hpp"

namespace vexal {

// The window kernels over a chunk's full windows, one result per bar of the
// chunk: bars before window.first_full() hold 0.0 and have no window.

inline std::vector<double> sums_by_bar(const ChunkWindow& window, std::size_t w, std::size_t n) {
  std::vector<double> out(n, 0.0);
  const std::size_t first = window.first_full();
  if (first < n) window_sums(window.window_of(first), n - first, w, out.data() + first);
  return out;
}

// sums / w: the mean each complete window's update divides out.
inline std::vector<double> means_by_bar(const ChunkWindow& window, std::size_t w, std::size_t n) {
  std::vector<double> out = sums_by_bar(window, w, n);
  const auto size = static_cast<double>(w);
  for (double& v : out) v = v / size;
  return out;
}

inline std::vector<double> square_deviations_by_bar(const ChunkWindow& window, std::size_t w, std::size_t n,
                                                    const std::vector<double>& mean) {
  std::vector<double> out(n, 0.0);
  const std::size_t first = window.first_full();
  if (first < n)
    window_square_deviations(window.window_of(first), n - first, w, mean.data() + first, out.data() + first);
  return out;
}

template <class Kernel>
std::vector<double> by_bar(const ChunkWindow& window, std::size_t w, std::size_t n, Kernel kernel) {
  std::vector<double> out(n, 0.0);
  const std::size_t first = window.first_full();
  if (first < n) kernel(window.window_of(first), n - first, w, out.data() + first);
  return out;
}

// Whether bar t's window is full and every entry of it present.
[[nodiscard]] inline bool complete_at(const ChunkWindow& window, std::size_t t) {
  return t >= window.first_full() && window.complete(t);
}

// A statistic that is its kernel's result (a rolling extreme): each complete
// window's value into the first output column, absent everywhere else.
template <class Kernel>
void write_by_bar(const ChunkWindow& window, std::size_t w, std::size_t n, Kernel kernel,
                  std::span<const ColumnOut> out) {
  const std::vector<double> values = by_bar(window, w, n, kernel);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(window, t)) {
      out[0].set(t, values[t]);
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
}

// Bar t of the first R input columns, as update receives it.
template <std::size_t R>
[[nodiscard]] std::array<OptionalValue, R> bar_at(std::span<const ColumnIn> in, std::size_t t) {
  std::array<OptionalValue, R> bar;
  for (std::size_t j = 0; j < R; ++j) bar[j] = in[j].at(t);
  return bar;
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
