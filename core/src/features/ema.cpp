#include "features/ema.hpp"

#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Ema, VexalError> Ema::create(Names inputs, std::size_t window, Names outputs) {
  if (inputs.empty()) return invalid_input("inputs must not be empty");
  if (outputs.empty()) return invalid_input("outputs must not be empty");
  if (window == 0) return invalid_input("window must be non-zero");
  auto seed = reserve_window(window);
  if (!seed) return std::unexpected(std::move(seed.error()));
  return Ema(std::move(inputs), window, std::move(outputs), std::move(*seed));
}

std::unique_ptr<StreamingTransform> Ema::fresh() const {
  return fresh_from(create(inputs_, window_, outputs_));
}

void Ema::reset() {
  current_.reset();
  seed_.clear();
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
  seed_.push_back(x);
  const OptionalValue seed = mean_if_complete(seed_);
  if (seed) {
    current_ = seed;
    seed_.clear();
  }
  return {seed};
}

UpdateResult Ema::peek(std::span<const OptionalValue> values) {
  require_values(values, 1);
  const OptionalValue x = values[0];
  if (current_) return {x ? OptionalValue(next(*x)) : std::nullopt};
  const auto displaced = seed_.push_back_undoable(x);
  const OptionalValue seed = mean_if_complete(seed_);
  seed_.undo(displaced);
  return {seed};
}

std::expected<Ema, VexalError> Ema::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t window = in.size("window");
  const OptionalValue current = in.value("current average");
  auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
  if (!made) return in.failure();
  made->current_ = current;
  in.values_into(made->seed_, "seed values");
  if (in.ok() && current && !made->seed_.empty()) in.fail("Ema holds an average and seed values at once");
  return in.result(std::move(*made));
}

void Ema::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(window_);
  out.value(current_);
  out.values(seed_);
}

void Ema::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 1);
  require_values(out, 1);
  const ColumnIn x = in[0];
  const ColumnOut y = out[0];
  std::size_t t = 0;
  while (t < n) {
    if (!current_) {
      // Seeding: rare enough to take update's own path.
      const OptionalValue value = x.at(t);
      y.set(t, update(std::span(&value, 1)).values()[0]);
      ++t;
      continue;
    }
    // The recursion runs on a local while the inputs stay present.
    double average = *current_;
    const double keep = 1.0 - alpha_;
    for (; t < n && x.valid[t] != 0; ++t) {
      average = keep * average + alpha_ * x.values[t];
      y.set(t, average);
    }
    current_ = average;
    if (t < n) {
      reset();
      y.set_absent(t);
      ++t;
    }
  }
  set_absent_from(out, 1, n);
}

}  // namespace vexal
