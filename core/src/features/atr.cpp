#include "features/atr.hpp"

#include <array>

#include "columns/seeded_run.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"

namespace vexal {

std::expected<Atr, VexalError> Atr::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto average = WilderAverage::create(window);
  if (!average) return std::unexpected(std::move(average.error()));
  return Atr(std::move(inputs), window, std::move(outputs), std::move(*average));
}

void Atr::clear_state() {
  previous_close_.reset();
  average_.reset();
}

UpdateResult Atr::update(std::span<const OptionalValue> values) {
  require_values(values, 3);
  const OptionalValue range = TrueRange::of(values[0], values[1], previous_close_);
  previous_close_ = values[2];
  return {average_.update(range)};
}

UpdateResult Atr::peek(std::span<const OptionalValue> values) {
  require_values(values, 3);
  return {average_.peek(TrueRange::of(values[0], values[1], previous_close_))};
}

// Seeded, the average runs on a local while the bars have a true range;
// seeding and a bar without one take update's own path.
void Atr::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 3);
  require_values(out, 1);
  const ColumnOut y = out[0];
  run_seeded(
      n, [&] { return average_.average().has_value(); },
      [&](std::size_t t) {
        double average = *average_.average();
        for (; t < n; ++t) {
          const OptionalValue range = TrueRange::of(in[0].at(t), in[1].at(t), previous_close_);
          if (!range) break;
          average = average_.step(average, *range);
          previous_close_ = in[2].at(t);
          y.set(t, average);
        }
        average_.resume(average);
        return t;
      },
      [&](std::size_t t) { y.set(t, Atr::update(std::array{in[0].at(t), in[1].at(t), in[2].at(t)})[0]); });
  set_absent_from(out, 1, n);
}

void Atr::save_state(SnapshotWriter& out) const {
  out.value(previous_close_);
  average_.save_state(out);
}

void Atr::load_state(SnapshotReader& in) {
  previous_close_ = in.value("previous close");
  average_.load_state(in);
}

}  // namespace vexal
