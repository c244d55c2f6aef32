#include "state_limit.hpp"

#include <string>

namespace vexal {
namespace {

thread_local StateLimit* active_limit = nullptr;

}  // namespace

StateLimit::StateLimit(std::size_t max_bytes) : max_(max_bytes), outer_(active_limit) { active_limit = this; }

StateLimit::~StateLimit() { active_limit = outer_; }

std::expected<void, VexalError> StateLimit::claim(std::size_t bytes) {
  StateLimit* limit = active_limit;
  if (limit == nullptr) return {};
  if (bytes > limit->max_ - limit->claimed_) {
    const std::string need =
        bytes > ~limit->claimed_ ? "more than 2^64 - 1" : std::to_string(limit->claimed_ + bytes);
    return std::unexpected(VexalError::invalid_input("the declared state needs " + need +
                                                     " bytes, more than the limit of " +
                                                     std::to_string(limit->max_) + " (max_bytes)"));
  }
  limit->claimed_ += bytes;
  return {};
}

}  // namespace vexal
