#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "features/ema.hpp"
#include "transform_base.hpp"

namespace vexal {

// Moving average convergence/divergence of the first input. Produces
// [macd, signal, histogram]: macd = Ema(fast) − Ema(slow), signal =
// Ema(signal) of macd, histogram = macd − signal; each Ema is the library's,
// seeded with the simple average of its first window and seeded again after
// an absent input, so macd is present from bar slow − 1 and signal from
// bar slow + signal − 2 on gap-free data.
class Macd final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Macd";

  [[nodiscard]] static std::expected<Macd, VexalError> create(Names inputs, Names outputs,
                                                              std::size_t fast = 12, std::size_t slow = 26,
                                                              std::size_t signal = 9);

  [[nodiscard]] std::size_t fast() const { return fast_.window(); }
  [[nodiscard]] std::size_t slow() const { return slow_.window(); }
  [[nodiscard]] std::size_t signal() const { return signal_.window(); }

  // Bars before the signal line, the last output to arrive.
  [[nodiscard]] std::size_t warm_up_period() const override { return slow() + signal() - 2; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override;
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;
  // Tag, names, the three periods, then each average's own snapshot.
  void save(SnapshotWriter& out) const override;
  [[nodiscard]] static std::expected<Macd, VexalError> load(SnapshotReader& in);

 private:
  Macd(Names inputs, Names outputs, Ema fast, Ema slow, Ema signal)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        fast_(std::move(fast)),
        slow_(std::move(slow)),
        signal_(std::move(signal)) {}

  Ema fast_;
  Ema slow_;
  Ema signal_;  // fed the macd line
};

}  // namespace vexal
