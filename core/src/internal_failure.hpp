#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>

namespace vexal {

// A broken promise between caller and core (too few values, an impossible
// failure of `fresh`). Not a VexalError: it ends the operation and the
// binding reports it as PanicException. Thrown before any state changes.
class InternalFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] inline void fail_index(std::size_t index, std::size_t len) {
  throw InternalFailure("index out of bounds: the len is " + std::to_string(len) +
                        " but the index is " + std::to_string(index));
}

inline void require_index(std::size_t index, std::size_t len) {
  if (index >= len) fail_index(index, len);
}

// A transform that reads `count` leading values checks them up front, so a
// short bar fails before anything is pushed into its buffers.
template <class T>
void require_values(std::span<const T> values, std::size_t count) {
  if (values.size() < count) fail_index(count - 1, values.size());
}

}  // namespace vexal
