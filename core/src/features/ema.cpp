#include "features/ema.hpp"

#include "columns/seeded_run.hpp"
#include "internal_failure.hpp"
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
  const OptionalValue x = values[0];
  if (current_) {
    if (x) {
      current_ = next(*x);
    } else {
      reset();
    }
    return {current_};
  }
  seed().push_back(x);
  const OptionalValue mean = mean_if_complete(seed());
  if (mean) {
    current_ = mean;
    seed().clear();
  }
  return {mean};
}

UpdateResult Ema::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  if (current_) return {x ? OptionalValue(next(*x)) : std::nullopt};
  const auto displaced = seed().push_back_undoable(x);
  const OptionalValue mean = mean_if_complete(seed());
  seed().undo(displaced);
  return {mean};
}

void Ema::load_state(SnapshotReader& in) {
  if (in.ok() && current_ && !seed().empty()) in.fail("Ema holds an average and seed values at once");
}

void Ema::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ColumnIn x = in[0];
  const ColumnOut y = out[0];
  const double keep = 1.0 - alpha_;
  run_seeded(
      n, [&] { return current_.has_value(); },
      [&](std::size_t t) {
        double average = *current_;
        for (; t < n && x.valid[t] != 0; ++t) {
          average = keep * average + alpha_ * x.values[t];
          y.set(t, average);
        }
        current_ = average;
        return t;
      },
      [&](std::size_t t) {
        const OptionalValue value = x.at(t);
        y.set(t, update(std::span(&value, 1)).values()[0]);
      });
  set_absent_from(out, 1, n);
}

}  // namespace vexal
