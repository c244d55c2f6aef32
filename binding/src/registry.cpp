// The registry: every class and function of the module, declared once, in
// registration order. The first twenty are the module's published names,
// in the order of __all__; the classes after them are registered on the
// module as well, outside __all__. The order is also the order in which a
// pipeline recognises its features and targets, and the stubs follow it.
// A new class is its core file and one entry here.
#include "registry.hpp"

#include <functional>
#include <vector>

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
#include "frame/class_builder.hpp"
#include "frame/snapshot_methods.hpp"
#include "frame/target_class.hpp"
#include "frame/transform_class.hpp"
#include "operators/neg_log.hpp"
#include "operators/subtract.hpp"
#include "pipelines.hpp"
#include "scalers.hpp"
#include "scalers/fixed_zscore.hpp"
#include "scalers/rolling_zscore.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_return.hpp"

namespace vexal::py {
namespace {

// One name of the module and how its object is made (a new reference).
struct Entry {
  const char* name;
  std::function<Ref(PyObject* module)> object;
};

template <class Core>
Entry transform(const TransformFace& face) {
  return {short_name(face.qualified_name), [face](PyObject*) {
            return Ref::borrow(reinterpret_cast<PyObject*>(TransformClass<Core>::type(face)));
          }};
}

template <class Core>
Entry target(const TargetFace& face) {
  return {short_name(face.qualified_name), [face](PyObject*) {
            return Ref::borrow(reinterpret_cast<PyObject*>(TargetClass<Core>::type(face)));
          }};
}

Entry type(const char* name, PyTypeObject* (*make)()) {
  return {name, [make](PyObject*) { return Ref::borrow(reinterpret_cast<PyObject*>(make())); }};
}

Entry function(PyMethodDef& def) {
  return {def.ml_name, [&def](PyObject* module) { return module_function(module, def); }};
}

constexpr const char* kUpdateInvalidDoc =
    "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` during warm-up or on invalid input.";
constexpr const char* kResetNoOpDoc = "reset($self)\n--\n\nReset (no-op for stateless operators).";
constexpr Param kKamaParams[] = {{"inputs"}, {"window"}, {"outputs"}, {"fast", 2}, {"slow", 30}};
constexpr Param kFixedZScoreParams[] = {{"inputs"}, {"outputs"}, {"mean"}, {"std"}};
constexpr Param kInputHorizon[] = {{"input"}, {"horizon"}};

// The names in __all__, in its order.
const std::vector<Entry>& published() {
  static const std::vector<Entry> entries = {
      transform<Sma>(windowed<Sma>(
          "vexal.Sma", "Sma(inputs, window, outputs)\n--\n\nSimple Moving Average over a rolling window.",
          kUpdateWarmUpDoc)),
      transform<Ema>(windowed<Ema>(
          "vexal.Ema", "Ema(inputs, window, outputs)\n--\n\nExponential Moving Average with SMA seeding.",
          kUpdateWarmUpDoc)),
      transform<Kama>({
          "vexal.Kama",
          "Kama(inputs, window, outputs, fast=2, slow=30)\n--\n\nKaufman's Adaptive Moving Average.",
          kKamaParams,
          kUpdateWarmUpDoc,
          kResetStateDoc,
          [](const Args& a) {
            return construct_with<Names, std::uint64_t, Names, std::uint64_t, std::uint64_t>(a,
                                                                                             &Kama::create);
          },
          // fast and slow are not shown: only their smoothing constants are kept.
          [](const StreamingTransform& t, const char* name) { return window_repr<Kama>(t, name); },
      }),
      transform<SimpleReturn>(windowed<SimpleReturn>(
          "vexal.SimpleReturn",
          "SimpleReturn(inputs, window, outputs)\n--\n\nSimple (arithmetic) return over a configurable "
          "lookback window.",
          kUpdateWarmUpDoc)),
      transform<LogReturn>(windowed<LogReturn>(
          "vexal.LogReturn",
          "LogReturn(inputs, window, outputs)\n--\n\nLog return over a configurable lookback window.",
          kUpdateWarmUpDoc)),
      transform<Skewness>(windowed<Skewness>(
          "vexal.Skewness",
          "Skewness(inputs, window, outputs)\n--\n\nRolling sample skewness (Fisher-Pearson corrected).",
          kUpdateWarmUpDoc)),
      transform<Kurtosis>(windowed<Kurtosis>(
          "vexal.Kurtosis", "Kurtosis(inputs, window, outputs)\n--\n\nRolling excess kurtosis (Fisher).",
          kUpdateWarmUpDoc)),
      transform<LinearSlope>(windowed<LinearSlope>(
          "vexal.LinearSlope",
          "LinearSlope(inputs, window, outputs)\n--\n\nRolling OLS regression: slope and R\xc2\xb2 of y on x "
          "over a sliding window.",
          "update($self, values)\n--\n\nProcess one bar. Returns ``[slope, r2]``, ``NaN`` during warm-up.")),
      transform<ParkinsonVolatility>(windowed<ParkinsonVolatility>(
          "vexal.ParkinsonVolatility",
          "ParkinsonVolatility(inputs, window, outputs)\n--\n\nRolling Parkinson volatility estimator "
          "(high/low).",
          kUpdateInvalidDoc)),
      transform<RogersSatchellVolatility>(windowed<RogersSatchellVolatility>(
          "vexal.RogersSatchellVolatility",
          "RogersSatchellVolatility(inputs, window, outputs)\n--\n\nRolling Rogers-Satchell volatility "
          "estimator (OHLC).",
          kUpdateInvalidDoc)),
      transform<Subtract>(stateless<Subtract>(
          "vexal.Subtract", "Subtract(inputs, outputs)\n--\n\nElement-wise subtraction: A - B.",
          "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if either input is ``NaN``.",
          kResetNoOpDoc)),
      transform<NegLog>(stateless<NegLog>(
          "vexal.NegLog", "NegLog(inputs, outputs)\n--\n\nNegative natural logarithm: -ln(x).",
          "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if input is ``NaN`` or <= 0.",
          kResetNoOpDoc)),
      transform<RollingZScore>({
          "vexal.RollingZScore",
          "RollingZScore(inputs, window, outputs)\n--\n\nRolling z-score normalization over a sliding "
          "window.",
          kInputsWindowOutputs,
          kUpdateWarmUpDoc,
          kResetStateDoc,
          [](const Args& a) {
            return construct_with<Names, std::uint64_t, Names>(a, &RollingZScore::create);
          },
          [](const StreamingTransform& t, const char* name) { return window_repr<RollingZScore>(t, name); },
      }),
      transform<FixedZScore>({
          "vexal.FixedZScore",
          "FixedZScore(inputs, outputs, mean, std)\n--\n\nZ-score normalization with pre-fitted mean and "
          "std.",
          kFixedZScoreParams,
          "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if input is ``NaN``.",
          "reset($self)\n--\n\nReset (no-op for stateless scalers).",
          [](const Args& a) { return construct_with<Names, Names, double, double>(a, &FixedZScore::create); },
          // The fitted statistics are not shown.
          &names_repr,
      }),
      function(fit_standard_scaler_def()),
      target<FutureReturn>({
          "vexal.FutureReturn",
          "FutureReturn(inputs, horizon, outputs)\n--\n\nFuture simple return over ``horizon`` bars.",
          kInputsHorizonOutputs,
          kOutputNamesDoc,
          [](const Args& a) { return validated<Names, std::uint64_t, Names>(a, &FutureReturn::create); },
          [](const TargetConfig& c) { return rebuilt(FutureReturn::create(c.inputs, c.horizon, c.outputs)); },
          &horizon_repr,
      }),
      target<FutureCTCVolatility>({
          "vexal.FutureCTCVolatility",
          "FutureCTCVolatility(input, horizon)\n--\n\nFuture close-to-close realized volatility.",
          kInputHorizon,
          kOutputNamesDoc,
          [](const Args& a) {
            return validated<std::string, std::uint64_t>(a, &FutureCTCVolatility::create);
          },
          [](const TargetConfig& c) {
            return rebuilt(FutureCTCVolatility::create(c.inputs.at(0), c.horizon));
          },
          // The derived output name is not shown.
          [](const TargetConfig& c, const char* name) {
            return render_repr(
                name, {{"input", quoted_name(c.inputs.at(0))}, {"horizon", std::to_string(c.horizon)}});
          },
      }),
      target<FutureLinearSlope>({
          "vexal.FutureLinearSlope",
          "FutureLinearSlope(inputs, horizon, outputs)\n--\n\nFuture OLS slope and R\xc2\xb2 of y on x over "
          "the "
          "next ``horizon`` bars.",
          kInputsHorizonOutputs,
          "output_names($self)\n--\n\nOutput column names (slope, r2).",
          [](const Args& a) { return validated<Names, std::uint64_t, Names>(a, &FutureLinearSlope::create); },
          [](const TargetConfig& c) {
            return rebuilt(FutureLinearSlope::create(c.inputs, c.horizon, c.outputs));
          },
          &horizon_repr,
      }),
      type("FeaturePipeline", &feature_pipeline_type),
      type("TargetPipeline", &target_pipeline_type),
  };
  return entries;
}

// Registered on the module after the published names, outside __all__.
const std::vector<Entry>& also_registered() {
  static const std::vector<Entry> entries = {
      function(load_function_def()),
  };
  return entries;
}

}  // namespace

void register_everything(PyObject* module) {
  for (const Entry& e : published()) add_to_module(module, e.name, e.object(module).get());
  for (const Entry& e : also_registered()) set_on_module(module, e.name, e.object(module).get());
}

}  // namespace vexal::py
