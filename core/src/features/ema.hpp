#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Exponential moving average seeded with the simple average of the first
// full window; an absent input drops the average and seeding starts again.
class Ema final : public Windowed<Ema, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Ema";
  static constexpr std::array<std::string_view, 1> buffer_labels{"seed values"};

  [[nodiscard]] static std::expected<Ema, VexalError> create(Names inputs, std::size_t window, Names outputs);

  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

  // The average, stored ahead of the seed values; load_state refuses both at once.
  void clear_state() { current_.reset(); }
  void save_head(SnapshotWriter& out) const { out.value(current_); }
  [[nodiscard]] static OptionalValue read_head(SnapshotReader& in) { return in.value("current average"); }
  void restore_head(SnapshotReader&, OptionalValue current) { current_ = current; }
  void load_state(SnapshotReader& in);

 private:
  Ema(Names inputs, std::size_t window, Names outputs, BufferSet<1> seed)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(seed)),
        alpha_(2.0 / (static_cast<double>(window) + 1.0)) {}

  // The step from an average: (1 − a) · average + a · x.
  [[nodiscard]] auto step() const {
    return [alpha = alpha_](double average, double x) {
      const double keep = 1.0 - alpha;
      return keep * average + alpha * x;
    };
  }

  [[nodiscard]] ValueBuffer& seed() { return buffer(0); }

  OptionalValue current_;  // present only once seeded; the seed buffer is then empty
  double alpha_;
};

template <>
struct Describe<Ema> : Described<Ema> {
  static constexpr std::string_view summary = "Exponential Moving Average with SMA seeding.";
  static constexpr std::string_view formula =
      "ema[t] = a * x[t] + (1 - a) * ema[t - 1] with a = 2 / (window + 1), seeded with the "
      "simple average of the first ``window`` values; a missing value drops the average and "
      "seeding starts again.";
  static constexpr Option<Ema> options[] = {inputs_option<Ema>, window_option<Ema>, outputs_option<Ema>};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "EMA: first";
  static constexpr std::string_view state =
      "size window, value current average, values seed (empty once seeded)";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Ema([\"close\"], 20, [\"ema\"])";
};

}  // namespace vexal
