#pragma once

#include <cstddef>
#include <limits>

namespace vexal {

// Sums and products of sizes that stop at the largest size instead of
// wrapping: a horizon or window near 2^64 then reads as "beyond any data",
// never as a small number.
[[nodiscard]] constexpr std::size_t saturating_add(std::size_t a, std::size_t b) {
  const std::size_t most = std::numeric_limits<std::size_t>::max();
  return a > most - b ? most : a + b;
}

[[nodiscard]] constexpr std::size_t saturating_mul(std::size_t a, std::size_t b) {
  const std::size_t most = std::numeric_limits<std::size_t>::max();
  return b != 0 && a > most / b ? most : a * b;
}

// The work a chunk of bars may hold between two checks for an interrupt,
// in elementary steps (a value added, compared or copied): tens of
// milliseconds at most.
inline constexpr std::size_t kWorkPerChunk = std::size_t{1} << 23;

// How many bars of `work_per_bar` steps fit in one chunk of `preferred`
// bars or fewer; at least one.
[[nodiscard]] constexpr std::size_t bars_by_work(std::size_t preferred, std::size_t work_per_bar) {
  const std::size_t fit = work_per_bar == 0 ? preferred : kWorkPerChunk / work_per_bar;
  const std::size_t bars = fit < preferred ? fit : preferred;
  return bars == 0 ? 1 : bars;
}

}  // namespace vexal
