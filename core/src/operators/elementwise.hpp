#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "internal_failure.hpp"
#include "stateless.hpp"

namespace vexal {

// A stateless operator with one output, `Derived::value(x)` of the bar's
// `Reads` input values: one function serves a bar and a run of columns, so
// live and research agree to the bit. Extra output names are absent.
//
// An operator that is absent exactly when an input is may give instead
// `static double apply(double...)` of the present values: a run of columns
// then computes every bar without a branch (an absent bar's value is
// unspecified, so computing one does no harm) and takes validity from its
// inputs'.
template <class Derived, std::size_t Reads>
class Elementwise : public Stateless<Derived, Reads> {
 public:
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, Reads);
    require_values(out, 1);
    if constexpr (applies()) {
      [&]<std::size_t... j>(std::index_sequence<j...>) {
        for (std::size_t t = 0; t < n; ++t) {
          out[0].values[t] = Derived::apply(in[j].values[t]...);
          out[0].valid[t] = (in[j].valid[t] & ...);
        }
      }(std::make_index_sequence<Reads>{});
    } else {
      std::array<OptionalValue, Reads> x;
      for (std::size_t t = 0; t < n; ++t) {
        for (std::size_t j = 0; j < Reads; ++j) x[j] = in[j].at(t);
        out[0].set(t, self().value(std::span<const OptionalValue, Reads>(x)));
      }
    }
    set_absent_from(out, 1, n);
  }

 protected:
  using Stateless<Derived, Reads>::Stateless;

  [[nodiscard]] UpdateResult of(std::span<const OptionalValue> values) const {
    if constexpr (applies()) {
      return [&]<std::size_t... j>(std::index_sequence<j...>) -> UpdateResult {
        if (!(values[j] && ...)) return {std::nullopt};
        return {Derived::apply(*values[j]...)};
      }(std::make_index_sequence<Reads>{});
    } else {
      return {self().value(values.template first<Reads>())};
    }
  }

  // Asked inside member bodies, where Derived is complete.
  [[nodiscard]] static constexpr bool applies() {
    return []<std::size_t... j>(std::index_sequence<j...>) {
      return requires { Derived::apply(((void)j, 0.0)...); };
    }(std::make_index_sequence<Reads>{});
  }

 private:
  friend Stateless<Derived, Reads>;

  [[nodiscard]] const Derived& self() const { return static_cast<const Derived&>(*this); }
};

}  // namespace vexal
