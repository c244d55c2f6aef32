#include "operators/clip.hpp"

#include <array>
#include <cmath>

#include "windowed.hpp"

namespace vexal {

std::expected<Clip, VexalError> Clip::create(Names inputs, Names outputs, std::optional<double> lower,
                                             std::optional<double> upper) {
  if (auto failure = first_failure(
          inputs_exactly(inputs, 1), outputs_not_empty(outputs),
          require(!lower || !std::isnan(*lower), "lower must be a number, or None for no lower bound"),
          require(!upper || !std::isnan(*upper), "upper must be a number, or None for no upper bound"),
          require(!lower || !upper || *lower <= *upper, "lower must be <= upper")))
    return *failure;
  return Clip(std::move(inputs), std::move(outputs), lower, upper);
}

void Clip::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  for (const std::optional<double>& bound : {lower_, upper_}) {
    out.u8(bound ? 1 : 0);
    out.f64(bound.value_or(0.0));
  }
}

std::expected<Clip, VexalError> Clip::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  std::array<std::optional<double>, 2> bounds;
  for (std::optional<double>& bound : bounds) {
    const std::uint8_t set = in.u8("bound flag");
    const double value = in.f64("bound");
    if (set > 1) in.fail("bound flag must be 0 or 1");
    if (set == 1) bound = value;
  }
  if (!in.ok()) return in.failure();
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs), bounds[0], bounds[1]));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

}  // namespace vexal
