#pragma once

#include <cstddef>

namespace vexal {

// Where the window kernels find window t's entries, oldest first. A chunk's
// windows overlap, each one entry on from the last; a book's are one per
// symbol, each in that symbol's own buffer.
struct Consecutive {
  Consecutive(const double* first) : x(first) {}  // NOLINT: a run of doubles is one
  const double* x;                                // window t starts at x[t]
};
struct Gathered {
  const double* const* starts;  // window t starts at starts[t]
};

}  // namespace vexal
