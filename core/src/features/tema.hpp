#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/ema_chain.hpp"

namespace vexal {

// Triple exponential moving average: 3 · e1 − 3 · e2 + e3, with e1 the Ema
// of the input, e2 that of e1 and e3 that of e2, all over `window` bars.
class Tema final : public EmaChain<Tema, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "Tema";

  [[nodiscard]] static OptionalValue combine(const Levels& e) {
    if (!e[0] || !e[1] || !e[2]) return std::nullopt;
    return 3.0 * *e[0] - 3.0 * *e[1] + *e[2];
  }

 private:
  friend EmaChain;
  using EmaChain::EmaChain;
};

template <>
struct Describe<Tema> : Described<Tema> {
  static constexpr std::string_view summary =
      "Triple exponential moving average of inputs[0]: 3 * e1 - 3 * e2 + e3, with e1 = "
      "Ema(window) of the input, e2 = Ema(window) of e1 and e3 = Ema(window) of e2, each "
      "seeded with the simple average of its first window as ``Ema`` is, so the first value is "
      "at bar 3 * (``window`` - 1). TA-Lib's TEMA seeds the same way and agrees from its first "
      "value.";
  static constexpr Option<Tema> options[] = {inputs_option<Tema>, window_option<Tema>, outputs_option<Tema>};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "3w − 3";
  static constexpr std::string_view talib = "TEMA: first";
  static constexpr std::string_view state =
      "size window, then the three `Ema`, each a whole object with its tag";
  static constexpr MissingPolicy missing = MissingPolicy::ReseedsRecursion;
  static constexpr std::string_view example = "Tema([\"close\"], 10, [\"tema\"])";
};

}  // namespace vexal
