#include "features/rolling_std.hpp"

#include "internal_failure.hpp"
#include "tools/rolling.hpp"

namespace vexal {

std::expected<RollingStd, VexalError> RollingStd::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_at_least(window, 2)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return RollingStd(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

UpdateResult RollingStd::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  push(entries(values));
  return evaluate(values);
}

RollingStd::Entries RollingStd::entries(std::span<const OptionalValue> values) const { return {values[0]}; }

UpdateResult RollingStd::evaluate(std::span<const OptionalValue>) {
  // The same arithmetic as the rolling tool, so both agree to the bit.
  if (!buffer(0).full()) return {std::nullopt};
  return {std_dev(buffer(0))};
}

UpdateResult RollingStd::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  return tentatively(entries(values), [&] { return evaluate(values); });
}

}  // namespace vexal
