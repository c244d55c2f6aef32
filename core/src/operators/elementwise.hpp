#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "internal_failure.hpp"
#include "stateless.hpp"

namespace vexal {

// A stateless operator with one output, `Derived::value(x)` of the bar's
// `Reads` input values: one function serves a bar and a run of columns, so
// live and research agree to the bit. Extra output names are absent.
template <class Derived, std::size_t Reads>
class Elementwise : public Stateless<Derived, Reads> {
 public:
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, Reads);
    require_values(out, 1);
    std::array<OptionalValue, Reads> x;
    for (std::size_t t = 0; t < n; ++t) {
      for (std::size_t j = 0; j < Reads; ++j) x[j] = in[j].at(t);
      out[0].set(t, self().value(std::span<const OptionalValue, Reads>(x)));
    }
    set_absent_from(out, 1, n);
  }

 protected:
  using Stateless<Derived, Reads>::Stateless;

  [[nodiscard]] UpdateResult of(std::span<const OptionalValue> values) const {
    return {self().value(values.template first<Reads>())};
  }

 private:
  friend Stateless<Derived, Reads>;

  [[nodiscard]] const Derived& self() const { return static_cast<const Derived&>(*this); }
};

}  // namespace vexal
