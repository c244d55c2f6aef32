#include "features/macd.hpp"

#include "internal_failure.hpp"
#include "windowed.hpp"

namespace vexal {

std::expected<Macd, VexalError> Macd::create(Names inputs, Names outputs, std::size_t fast, std::size_t slow,
                                             std::size_t signal) {
  if (auto failure = first_failure(
          inputs_not_empty(inputs), outputs_exactly(outputs, 3, "[macd, signal, histogram]"),
          require(fast != 0, "fast must be non-zero"), require(slow > fast, "slow must be > fast"),
          require(signal != 0, "signal must be non-zero")))
    return *failure;
  // The averages carry the transform's own names, which they never report.
  auto fast_ema = Ema::create(inputs, fast, outputs);
  if (!fast_ema) return std::unexpected(std::move(fast_ema.error()));
  auto slow_ema = Ema::create(inputs, slow, outputs);
  if (!slow_ema) return std::unexpected(std::move(slow_ema.error()));
  auto signal_ema = Ema::create(inputs, signal, outputs);
  if (!signal_ema) return std::unexpected(std::move(signal_ema.error()));
  return Macd(std::move(inputs), std::move(outputs), std::move(*fast_ema), std::move(*slow_ema),
              std::move(*signal_ema));
}

std::unique_ptr<StreamingTransform> Macd::fresh() const {
  return fresh_from(create(inputs_, outputs_, fast(), slow(), signal()));
}

void Macd::reset() {
  fast_.reset();
  slow_.reset();
  signal_.reset();
}

void Macd::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(fast());
  out.size(slow());
  out.size(signal());
  fast_.save(out);
  slow_.save(out);
  signal_.save(out);
}

std::expected<Macd, VexalError> Macd::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t fast = in.size("fast");
  const std::size_t slow = in.size("slow");
  const std::size_t signal = in.size("signal");
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), fast, slow, signal));
  if (!made) return in.failure();
  for (Ema* average : {&made->fast_, &made->slow_, &made->signal_}) {
    const std::string tag = in.text("average tag");
    if (!in.ok()) return in.failure();
    if (tag != Ema::snapshot_tag) {
      in.fail("Macd holds a " + tag + " where an Ema belongs");
      return in.failure();
    }
    auto loaded = Ema::load(in);
    if (!loaded) return std::unexpected(std::move(loaded.error()));
    if (loaded->window() != average->window()) {
      in.fail("Macd holds an Ema of window " + std::to_string(loaded->window()) + " where " +
              std::to_string(average->window()) + " belongs");
      return in.failure();
    }
    *average = std::move(*loaded);
  }
  return in.result(std::move(*made));
}

}  // namespace vexal
