#pragma once

#include <cstddef>
#include <expected>
#include <string_view>
#include <utility>

#include "error.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"

namespace vexal {

// A target configured with input names, a horizon and output names, which
// it reports unchanged; the horizon is also its forward period. `Derived`
// provides its `snapshot_tag` and `create(inputs, horizon, outputs)`.
template <class Derived>
class HorizonTarget : public Target {
 public:
  [[nodiscard]] const Names& inputs() const { return inputs_; }
  [[nodiscard]] const Names& outputs() const { return outputs_; }
  [[nodiscard]] std::size_t horizon() const { return horizon_; }

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return horizon_; }

  // Tag, input names, horizon, output names.
  void save(SnapshotWriter& out) const override {
    out.text(Derived::snapshot_tag);
    out.names(inputs_);
    out.size(horizon_);
    out.names(outputs_);
  }

  // Rebuilds a saved target (the fields after its tag) through `create`.
  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    Names inputs = in.names("input names");
    const std::size_t horizon = in.size("horizon");
    Names outputs = in.names("output names");
    auto made =
        in.built(Derived::snapshot_tag, Derived::create(std::move(inputs), horizon, std::move(outputs)));
    if (!made) return in.failure();
    return in.result(std::move(*made));
  }

 protected:
  HorizonTarget(Names inputs, std::size_t horizon, Names outputs)
      : inputs_(std::move(inputs)), outputs_(std::move(outputs)), horizon_(horizon) {}

  Names inputs_;
  Names outputs_;
  std::size_t horizon_;
};

}  // namespace vexal
