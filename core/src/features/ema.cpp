#include "features/ema.hpp"

#include "internal_failure.hpp"
#include "seeded_average.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Ema, VexalError> Ema::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure =
          first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto seed = all_reserved(reserve_window(window));
  if (!seed) return std::unexpected(std::move(seed.error()));
  return Ema(std::move(inputs), window, std::move(outputs), std::move(*seed));
}

UpdateResult Ema::update(std::span<const OptionalValue> values) {
  require_values(values, 1);
  return {SeededAverage::update(current_, seed(), values[0], step())};
}

UpdateResult Ema::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  return {SeededAverage::peek(current_, seed(), values[0], step())};
}

void Ema::load_state(SnapshotReader& in) {
  if (in.ok() && current_ && !seed().empty()) in.fail("Ema holds an average and seed values at once");
}

void Ema::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  SeededAverage::columns(current_, seed(), in[0], out[0], n, step());
  set_absent_from(out, 1, n);
}

}  // namespace vexal
