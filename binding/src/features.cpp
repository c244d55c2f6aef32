#include "features.hpp"

#include "features/ema.hpp"
#include "features/kama.hpp"
#include "features/kurtosis.hpp"
#include "features/linear_slope.hpp"
#include "features/log_return.hpp"
#include "features/parkinson_volatility.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "features/simple_return.hpp"
#include "features/skewness.hpp"
#include "features/sma.hpp"
#include "frame/transform_class.hpp"

namespace vexal::py {
namespace {

using Window = std::uint64_t;

// The face shared by every feature built as Name(inputs, window, outputs).
template <class Core>
constexpr TransformFace windowed(const char* qualified_name, const char* doc, const char* update_doc) {
  return {
      qualified_name,
      doc,
      kInputsWindowOutputs,
      update_doc,
      kResetStateDoc,
      [](const Args& a) { return construct_with<Names, Window, Names>(a, &Core::create); },
      [](const StreamingTransform& t, const char* name) { return window_repr<Core>(t, name); },
  };
}

constexpr const char* kUpdateInvalidDoc =
    "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` during warm-up or on invalid input.";

constexpr TransformFace kSma = windowed<Sma>(
    "vexal.Sma", "Sma(inputs, window, outputs)\n--\n\nSimple Moving Average over a rolling window.",
    kUpdateWarmUpDoc);
constexpr TransformFace kEma = windowed<Ema>(
    "vexal.Ema", "Ema(inputs, window, outputs)\n--\n\nExponential Moving Average with SMA seeding.",
    kUpdateWarmUpDoc);

constexpr Param kKamaParams[] = {{"inputs"}, {"window"}, {"outputs"}, {"fast", 2}, {"slow", 30}};
constexpr TransformFace kKama = {
    "vexal.Kama",
    "Kama(inputs, window, outputs, fast=2, slow=30)\n--\n\nKaufman's Adaptive Moving Average.",
    kKamaParams,
    kUpdateWarmUpDoc,
    kResetStateDoc,
    [](const Args& a) { return construct_with<Names, Window, Names, Window, Window>(a, &Kama::create); },
    // fast and slow are not shown: only their smoothing constants are kept.
    [](const StreamingTransform& t, const char* name) { return window_repr<Kama>(t, name); },
};

constexpr TransformFace kSimpleReturn =
    windowed<SimpleReturn>("vexal.SimpleReturn",
                           "SimpleReturn(inputs, window, outputs)\n--\n\nSimple (arithmetic) return over a "
                           "configurable lookback window.",
                           kUpdateWarmUpDoc);
constexpr TransformFace kLogReturn = windowed<LogReturn>(
    "vexal.LogReturn",
    "LogReturn(inputs, window, outputs)\n--\n\nLog return over a configurable lookback window.",
    kUpdateWarmUpDoc);
constexpr TransformFace kSkewness = windowed<Skewness>(
    "vexal.Skewness",
    "Skewness(inputs, window, outputs)\n--\n\nRolling sample skewness (Fisher-Pearson corrected).",
    kUpdateWarmUpDoc);
constexpr TransformFace kKurtosis = windowed<Kurtosis>(
    "vexal.Kurtosis", "Kurtosis(inputs, window, outputs)\n--\n\nRolling excess kurtosis (Fisher).",
    kUpdateWarmUpDoc);
constexpr TransformFace kLinearSlope = windowed<LinearSlope>(
    "vexal.LinearSlope",
    "LinearSlope(inputs, window, outputs)\n--\n\nRolling OLS regression: slope and R\xc2\xb2 of y on x over "
    "a sliding "
    "window.",
    "update($self, values)\n--\n\nProcess one bar. Returns ``[slope, r2]``, ``NaN`` during warm-up.");
constexpr TransformFace kParkinsonVolatility = windowed<ParkinsonVolatility>(
    "vexal.ParkinsonVolatility",
    "ParkinsonVolatility(inputs, window, outputs)\n--\n\nRolling Parkinson volatility estimator (high/low).",
    kUpdateInvalidDoc);
constexpr TransformFace kRogersSatchellVolatility =
    windowed<RogersSatchellVolatility>("vexal.RogersSatchellVolatility",
                                       "RogersSatchellVolatility(inputs, window, outputs)\n--\n\nRolling "
                                       "Rogers-Satchell volatility estimator (OHLC).",
                                       kUpdateInvalidDoc);

}  // namespace

void add_feature_classes(PyObject* module) {
  add_transform_class<kSma>(module);
  add_transform_class<kEma>(module);
  add_transform_class<kKama>(module);
  add_transform_class<kSimpleReturn>(module);
  add_transform_class<kLogReturn>(module);
  add_transform_class<kSkewness>(module);
  add_transform_class<kKurtosis>(module);
  add_transform_class<kLinearSlope>(module);
  add_transform_class<kParkinsonVolatility>(module);
  add_transform_class<kRogersSatchellVolatility>(module);
}

}  // namespace vexal::py
