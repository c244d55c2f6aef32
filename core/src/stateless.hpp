#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <span>

#include "error.hpp"
#include "transform_base.hpp"

namespace vexal {

// What the transforms without state share: a bar's result is
// `Derived::of(values)`, from that bar alone and the configuration, so reset
// has nothing to clear, a peek is the update and a fresh copy is a copy. A
// bar must hold `Reads` values. The snapshot holds the names; a Derived with
// options beyond them writes and reads its own `save` and `load`.
template <class Derived, std::size_t Reads>
class Stateless : public NamedTransform {
 public:
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return std::make_unique<Derived>(self());
  }
  void reset() override {}
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, Reads);
    return self().of(values);
  }
  UpdateResult peek(std::span<const OptionalValue> values) override { return update(values); }
  void save(SnapshotWriter& out) const override { save_names(out, Derived::snapshot_tag); }

  // Rebuilds a saved transform (the fields after its tag) through create.
  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    auto made = in.built(Derived::snapshot_tag, Derived::create(std::move(inputs), std::move(outputs)));
    if (!made) return in.failure();
    return in.result(std::move(*made));
  }

 protected:
  using NamedTransform::NamedTransform;

 private:
  [[nodiscard]] const Derived& self() const { return static_cast<const Derived&>(*this); }
};

}  // namespace vexal
