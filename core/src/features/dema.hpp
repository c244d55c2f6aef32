#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/ema_chain.hpp"

namespace vexal {

// Double exponential moving average: 2 · e1 − e2, with e1 the Ema of the
// input and e2 the Ema of e1, both over `window` bars.
class Dema final : public EmaChain<Dema, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Dema";

  [[nodiscard]] static OptionalValue combine(const Levels& e) {
    if (!e[0] || !e[1]) return std::nullopt;
    return 2.0 * *e[0] - *e[1];
  }

 private:
  friend EmaChain;
  using EmaChain::EmaChain;
};

template <>
struct Describe<Dema> : Described<Dema> {
  static constexpr std::string_view summary =
      "Double exponential moving average of inputs[0]: 2 * e1 - e2, with e1 = Ema(window) of "
      "the input and e2 = Ema(window) of e1, each seeded with the simple average of its first "
      "window as ``Ema`` is, so the first value is at bar 2 * (``window`` - 1). TA-Lib's DEMA "
      "seeds the same way and agrees from its first value.";
  static constexpr Option<Dema> options[] = {inputs_option<Dema>, window_option<Dema>, outputs_option<Dema>};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "2w − 2";
  static constexpr std::string_view talib = "DEMA: first";
  static constexpr std::string_view state =
      "size window, then the two `Ema`, each a whole object with its tag";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Dema([\"close\"], 10, [\"dema\"])";
};

}  // namespace vexal
