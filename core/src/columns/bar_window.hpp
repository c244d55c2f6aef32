#pragma once

#include <array>
#include <cstddef>

#include "value_buffer.hpp"

namespace vexal {

// One bar's view of a window, the live counterpart of ChunkWindow: the
// buffer right after the bar's entry went in, read as a chunk of one bar.
// A step written against the two views runs the same reductions on the
// same doubles, so live and research agree by construction.
class BarWindow {
 public:
  explicit BarWindow(ValueBuffer& buffer) : buffer_(&buffer) {}

  [[nodiscard]] std::size_t bars() const { return 1; }
  [[nodiscard]] std::size_t first_full() const { return buffer_->full() ? 0 : 1; }
  [[nodiscard]] bool full(std::size_t) const { return buffer_->full(); }
  [[nodiscard]] const double* window_of(std::size_t) const { return buffer_->make_contiguous().data(); }
  [[nodiscard]] const double* rows(std::size_t first) const { return window_of(first); }
  [[nodiscard]] bool complete(std::size_t) const { return buffer_->absent() == 0; }
  [[nodiscard]] bool present(std::size_t, std::size_t back = 0) const {
    return (*buffer_)[buffer_->size() - 1 - back].has_value();
  }
  [[nodiscard]] double value(std::size_t, std::size_t back = 0) const {
    return (*buffer_)[buffer_->size() - 1 - back].value_or(0.0);
  }

 private:
  ValueBuffer* buffer_;
};

// A value per bar of a view: on the stack for one bar, so a live update
// never allocates; zero-initialised, as the column kernels expect.
template <class T>
[[nodiscard]] std::array<T, 1> per_bar(const BarWindow&) {
  return {};
}

}  // namespace vexal
