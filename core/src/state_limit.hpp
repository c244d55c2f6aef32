#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"

namespace vexal {

// While an untrusted snapshot loads, the window storage its objects reserve
// is counted against a limit, so that a few bytes cannot ask for gigabytes.
// A limit holds on the thread that set it, for as long as it lives (nested
// limits count against the innermost); objects built directly meet none.
class StateLimit {
 public:
  explicit StateLimit(std::size_t max_bytes);
  ~StateLimit();
  StateLimit(const StateLimit&) = delete;
  StateLimit& operator=(const StateLimit&) = delete;

  // Counts `bytes` more against the limit in force, if there is one; past
  // the limit nothing is counted and the need is reported.
  [[nodiscard]] static std::expected<void, VexalError> claim(std::size_t bytes);

 private:
  std::size_t max_;
  std::size_t claimed_ = 0;
  StateLimit* outer_;
};

}  // namespace vexal
