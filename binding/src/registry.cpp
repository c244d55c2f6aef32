// The registry: every class and function of the module, declared once, in
// registration order. The first twenty are the module's published names,
// in the order of __all__; the classes after them are registered on the
// module as well, outside __all__. The order is also the order in which a
// pipeline recognises its features and targets, and the stubs follow it.
// A new class is its core file and one entry here.
#include "registry.hpp"

#include <functional>
#include <vector>

#include "features/adx.hpp"
#include "features/atr.hpp"
#include "features/bollinger_bands.hpp"
#include "features/cci.hpp"
#include "features/ema.hpp"
#include "features/garman_klass_volatility.hpp"
#include "features/kama.hpp"
#include "features/kurtosis.hpp"
#include "features/linear_slope.hpp"
#include "features/log_return.hpp"
#include "features/macd.hpp"
#include "features/obv.hpp"
#include "features/parkinson_volatility.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "features/rolling_correlation.hpp"
#include "features/rolling_max.hpp"
#include "features/rolling_min.hpp"
#include "features/rolling_quantile.hpp"
#include "features/rolling_std.hpp"
#include "features/rsi.hpp"
#include "features/simple_return.hpp"
#include "features/skewness.hpp"
#include "features/sma.hpp"
#include "features/stochastic.hpp"
#include "features/true_range.hpp"
#include "features/vwap.hpp"
#include "features/williams_r.hpp"
#include "features/yang_zhang_volatility.hpp"
#include "frame/class_builder.hpp"
#include "frame/snapshot_methods.hpp"
#include "frame/target_class.hpp"
#include "frame/transform_class.hpp"
#include "operators/lag.hpp"
#include "operators/neg_log.hpp"
#include "operators/ratio.hpp"
#include "operators/subtract.hpp"
#include "pipelines.hpp"
#include "scalers.hpp"
#include "scalers/fixed_zscore.hpp"
#include "scalers/rolling_zscore.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_return.hpp"
#include "targets/meta_label.hpp"
#include "targets/triple_barrier.hpp"

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

constexpr const char* kResetStateless = kResetNoOpDoc;
constexpr Param kBandsParams[] = {{"inputs"}, {"window"}, {"outputs"}, {"k", std::nullopt, 2.0}};
constexpr Param kMacdParams[] = {{"inputs"}, {"outputs"}, {"fast", 12}, {"slow", 26}, {"signal", 9}};
constexpr Param kStochasticParams[] = {{"inputs"}, {"window"}, {"outputs"}, {"smooth_k", 3}, {"smooth_d", 3}};
constexpr Param kQuantileParams[] = {{"inputs"}, {"window"}, {"outputs"}, {"q", std::nullopt, 0.5}};
constexpr Param kLagParams[] = {{"inputs"}, {"k"}, {"outputs"}};

// "Name(inputs=[...], window=N, outputs=[...], option=value, ...)".
template <class Core>
std::string options_repr(const Core& core, const char* name,
                         std::initializer_list<std::pair<const char*, std::string>> options) {
  std::string out = window_repr<Core>(core, name);
  out.pop_back();
  for (const auto& [keyword, value] : options) out += std::string(", ") + keyword + "=" + value;
  return out + ")";
}

// The indicators, after the published names.
std::vector<Entry> indicators() {
  return {
      transform<Rsi>(windowed<Rsi>(
          "vexal.Rsi",
          "Rsi(inputs, window, outputs)\n--\n\nWilder's relative strength index of inputs[0] (the close): "
          "100 * G / (G + L), where G and L are Wilder averages over ``window`` bars, avg = (avg * (window - "
          "1) "
          "+ x) / window, of the gains max(d, 0) and losses max(-d, 0) of the bar-to-bar change d, each "
          "seeded "
          "with the simple average of its first ``window`` changes. NaN while a window saw no move."
          " Seeding: the first value is at bar ``window`` (after ``window`` + 1 closes), from the simple "
          "averages of the first ``window`` gains and losses; TA-Lib's RSI seeds the same way and agrees "
          "from its first value (within 1e-13: it multiplies by 1/window where this divides by window).",
          kUpdateWarmUpDoc)),
      transform<TrueRange>(stateless<TrueRange>("vexal.TrueRange",
                                                "TrueRange(inputs, outputs)\n--\n\nWilder's true range. "
                                                "inputs: [high, low, close]. max(high - low, "
                                                "|high - previous close|, |low - previous close|); NaN on "
                                                "the first bar and for a bar whose high is "
                                                "below its low.",
                                                kUpdateInvalidDoc, kResetStateDoc)),
      transform<Atr>(windowed<Atr>(
          "vexal.Atr",
          "Atr(inputs, window, outputs)\n--\n\nWilder's average true range. inputs: [high, low, close]. The "
          "Wilder average over ``window`` bars of TrueRange, avg = (avg * (window - 1) + tr) / window, "
          "seeded "
          "with the simple average of the first ``window`` true ranges."
          " The first true range is at bar 1, so the first value is at bar ``window``; TA-Lib's ATR seeds "
          "the same way and agrees from its first value (within 1e-13).",
          kUpdateInvalidDoc)),
      transform<Adx>(windowed<Adx>(
          "vexal.Adx",
          "Adx(inputs, window, outputs)\n--\n\nWilder's average directional index. inputs: [high, low, "
          "close]; outputs: [adx, plus_di, minus_di]. With up = high - previous high and down = previous low "
          "- "
          "low, +DM = up if up > down and up > 0 (else 0), -DM likewise; +DI = 100 * avg(+DM) / avg(TR), -DI "
          "= "
          "100 * avg(-DM) / avg(TR), DX = 100 * |+DI - -DI| / (+DI + -DI), ADX = avg(DX), every avg a Wilder "
          "average over ``window`` bars."
          " Seeding: each average starts as the simple average of its first ``window`` values, so +DI and "
          "-DI are first present at bar ``window`` and ADX (the average of the first ``window`` DX values) "
          "at bar 2 * ``window`` - 1. TA-Lib sums the directional movements over ``window`` - 1 bars "
          "instead: its first ADX differs by 1.44 points (window 14, daily SPY) and the two agree within "
          "1e-9 (relative) from about bar 300, +DI and -DI from about bar 250, as the seeds decay.",
          "update($self, values)\n--\n\nProcess one bar. Returns ``[adx, plus_di, minus_di]``, ``NaN`` "
          "during "
          "warm-up or on invalid input.")),
      transform<BollingerBands>({
          "vexal.BollingerBands",
          "BollingerBands(inputs, window, outputs, k=2.0)\n--\n\nBollinger bands of inputs[0] over "
          "``window`` "
          "bars. outputs: [middle, upper, lower, percent_b, bandwidth]. middle = mean, upper/lower = middle "
          "+/- "
          "k * population standard deviation, percent_b = (x - lower) / (upper - lower), bandwidth = (upper "
          "- "
          "lower) / middle; a flat window has no percent_b, a zero middle no bandwidth.",
          kBandsParams,
          "update($self, values)\n--\n\nProcess one bar. Returns ``[middle, upper, lower, percent_b, "
          "bandwidth]``, ``NaN`` during warm-up.",
          kResetStateDoc,
          [](const Args& a) {
            return construct_with<Names, std::uint64_t, Names, double>(a, &BollingerBands::create);
          },
          [](const StreamingTransform& t, const char* name) {
            const auto& core = static_cast<const BollingerBands&>(t);
            return options_repr(core, name, {{"k", float_repr(core.k())}});
          },
      }),
      transform<Macd>({
          "vexal.Macd",
          "Macd(inputs, outputs, fast=12, slow=26, signal=9)\n--\n\nMoving average convergence/divergence of "
          "inputs[0]. outputs: [macd, signal, histogram]. macd = Ema(fast) - Ema(slow), signal = Ema(signal) "
          "of macd, histogram = macd - signal; every Ema seeded with the simple average of its first window, "
          "as ``Ema`` is."
          " Seeding: the fast Ema is present from bar ``fast`` - 1, the slow from bar ``slow`` - 1, so macd "
          "from bar ``slow`` - 1 and signal from bar ``slow`` + ``signal`` - 2. TA-Lib seeds the fast EMA "
          "at the first bar of the slow one instead, and reports macd only from the first bar of the signal: "
          "the "
          "macd and signal lines agree within 1e-9 (relative) once the seeds have decayed (from about bar "
          "155 for 12/26/9 on daily SPY).",
          kMacdParams,
          "update($self, values)\n--\n\nProcess one bar. Returns ``[macd, signal, histogram]``, ``NaN`` "
          "during warm-up.",
          kResetStateDoc,
          [](const Args& a) {
            return construct_with<Names, Names, std::uint64_t, std::uint64_t, std::uint64_t>(a,
                                                                                             &Macd::create);
          },
          [](const StreamingTransform& t, const char* name) {
            const auto& core = static_cast<const Macd&>(t);
            return render_repr(name, {{"inputs", list_form(core.input_names())},
                                      {"outputs", list_form(core.output_names())},
                                      {"fast", std::to_string(core.fast())},
                                      {"slow", std::to_string(core.slow())},
                                      {"signal", std::to_string(core.signal())}});
          },
      }),
      transform<Stochastic>({
          "vexal.Stochastic",
          "Stochastic(inputs, window, outputs, smooth_k=3, smooth_d=3)\n--\n\nThe slow stochastic "
          "oscillator. inputs: [high, low, close]; outputs: [k, d]. raw %K = 100 * (close - LL) / (HH - LL) "
          "over the highest high HH and lowest low LL of ``window`` bars; k = mean of raw %K over "
          "``smooth_k`` bars, d = mean of k over ``smooth_d`` bars.",
          kStochasticParams,
          "update($self, values)\n--\n\nProcess one bar. Returns ``[k, d]``, ``NaN`` during warm-up or on "
          "invalid input.",
          kResetStateDoc,
          [](const Args& a) {
            return construct_with<Names, std::uint64_t, Names, std::uint64_t, std::uint64_t>(
                a, &Stochastic::create);
          },
          [](const StreamingTransform& t, const char* name) {
            const auto& core = static_cast<const Stochastic&>(t);
            return options_repr(core, name,
                                {{"smooth_k", std::to_string(core.smooth_k())},
                                 {"smooth_d", std::to_string(core.smooth_d())}});
          },
      }),
      transform<WilliamsR>(windowed<WilliamsR>(
          "vexal.WilliamsR",
          "WilliamsR(inputs, window, outputs)\n--\n\nWilliams %R. inputs: [high, low, close]. 100 * (close - "
          "HH) / (HH - LL) over the highest high HH and lowest low LL of ``window`` bars, in [-100, 0].",
          kUpdateInvalidDoc)),
      transform<Cci>(windowed<Cci>(
          "vexal.Cci",
          "Cci(inputs, window, outputs)\n--\n\nCommodity channel index. inputs: [high, low, close]. (tp - m) "
          "/ (0.015 * d), with tp = (high + low + close) / 3, m the mean of tp over ``window`` bars and d "
          "the "
          "mean absolute deviation of tp from m.",
          kUpdateInvalidDoc)),
      transform<Obv>(stateless<Obv>(
          "vexal.Obv",
          "Obv(inputs, outputs)\n--\n\nOn-balance volume. inputs: [close, volume]. A running total starting "
          "at the first volume: + volume when the close rises, - volume when it falls; a missing value or a "
          "negative volume starts it again.",
          kUpdateInvalidDoc, kResetStateDoc)),
      transform<Vwap>(windowed<Vwap>(
          "vexal.Vwap",
          "Vwap(inputs, window, outputs)\n--\n\nRolling volume-weighted average price. inputs: [high, low, "
          "close, volume]. sum(tp * volume) / sum(volume) over ``window`` bars, tp = (high + low + close) / "
          "3.",
          kUpdateInvalidDoc)),
      transform<RollingMin>(windowed<RollingMin>(
          "vexal.RollingMin",
          "RollingMin(inputs, window, outputs)\n--\n\nSmallest value of inputs[0] over ``window`` bars.",
          kUpdateWarmUpDoc)),
      transform<RollingMax>(windowed<RollingMax>(
          "vexal.RollingMax",
          "RollingMax(inputs, window, outputs)\n--\n\nLargest value of inputs[0] over ``window`` bars.",
          kUpdateWarmUpDoc)),
      transform<RollingStd>(windowed<RollingStd>(
          "vexal.RollingStd",
          "RollingStd(inputs, window, outputs)\n--\n\nSample standard deviation (ddof=1) of inputs[0] over "
          "``window`` bars: sqrt(sum((x - mean)^2) / (window - 1)).",
          kUpdateWarmUpDoc)),
      transform<RollingCorrelation>(windowed<RollingCorrelation>(
          "vexal.RollingCorrelation",
          "RollingCorrelation(inputs, window, outputs)\n--\n\nPearson correlation of inputs [x, y] over "
          "``window`` bars: sxy / sqrt(sxx * syy) from the deviations from the means; NaN where a column is "
          "constant.",
          kUpdateWarmUpDoc)),
      transform<RollingQuantile>({
          "vexal.RollingQuantile",
          "RollingQuantile(inputs, window, outputs, q=0.5)\n--\n\nThe q-quantile of inputs[0] over "
          "``window`` "
          "bars, linearly interpolated between order statistics as numpy.quantile's default is.",
          kQuantileParams,
          kUpdateWarmUpDoc,
          kResetStateDoc,
          [](const Args& a) {
            return construct_with<Names, std::uint64_t, Names, double>(a, &RollingQuantile::create);
          },
          [](const StreamingTransform& t, const char* name) {
            const auto& core = static_cast<const RollingQuantile&>(t);
            return options_repr(core, name, {{"q", float_repr(core.q())}});
          },
      }),
      transform<GarmanKlassVolatility>(windowed<GarmanKlassVolatility>(
          "vexal.GarmanKlassVolatility",
          "GarmanKlassVolatility(inputs, window, outputs)\n--\n\nGarman-Klass volatility. inputs: [open, "
          "high, low, close]. sqrt(mean(0.5 * ln(high / low)^2 - (2 ln 2 - 1) * ln(close / open)^2)) over "
          "``window`` bars.",
          kUpdateInvalidDoc)),
      transform<YangZhangVolatility>(windowed<YangZhangVolatility>(
          "vexal.YangZhangVolatility",
          "YangZhangVolatility(inputs, window, outputs)\n--\n\nYang-Zhang volatility. inputs: [open, high, "
          "low, close]. sqrt(so + k * sc + (1 - k) * rs) over ``window`` bars: so and sc the sample "
          "variances "
          "of ln(open / previous close) and ln(close / open), rs the mean Rogers-Satchell term, k = 0.34 / "
          "(1.34 + (n + 1) / (n - 1)).",
          kUpdateInvalidDoc)),
      transform<Lag>({
          "vexal.Lag",
          "Lag(inputs, k, outputs)\n--\n\ninputs[0] as it was ``k`` bars earlier.",
          kLagParams,
          kUpdateWarmUpDoc,
          kResetStateDoc,
          [](const Args& a) { return construct_with<Names, std::uint64_t, Names>(a, &Lag::create); },
          [](const StreamingTransform& t, const char* name) {
            const auto& core = static_cast<const Lag&>(t);
            return render_repr(name, {{"inputs", list_form(core.input_names())},
                                      {"k", std::to_string(core.k())},
                                      {"outputs", list_form(core.output_names())}});
          },
      }),
      transform<Ratio>(stateless<Ratio>(
          "vexal.Ratio", "Ratio(inputs, outputs)\n--\n\nElement-wise ratio: A / B, ``NaN`` where B is 0.",
          "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if either input is ``NaN`` or B "
          "is 0.",
          kResetStateless)),
  };
}

constexpr Param kTripleBarrierParams[] = {
    {"inputs"}, {"horizon"}, {"outputs"}, {"upper", std::nullopt, 1.0}, {"lower", std::nullopt, 1.0}};

// A barrier multiple, or None for a barrier that is not set.
std::string multiple_repr(const std::optional<double>& multiple) {
  return multiple ? float_repr(*multiple) : "None";
}

// The labels for models, after the indicators.
std::vector<Entry> model_labels() {
  return {
      target<TripleBarrier>({
          "vexal.TripleBarrier",
          "TripleBarrier(inputs, horizon, outputs, upper=1.0, lower=1.0)\n--\n\nTriple-barrier label of each "
          "bar. inputs: [close, scale]; outputs: [label, ret, bars]. From a bar with a positive close c0 and "
          "a "
          "positive scale s (a volatility, say), walks the next ``horizon`` closes: the first >= c0 * (1 + "
          "upper "
          "* s) labels 1, the first <= c0 * (1 - lower * s) labels -1, and none labels 0 at the last of "
          "them. ret "
          "= close there / c0 - 1, bars = the bars walked. A missing close on the way, or the end of the "
          "data "
          "before either, leaves all three NaN. ``upper=None`` or ``lower=None`` removes that barrier.",
          kTripleBarrierParams,
          "output_names($self)\n--\n\nOutput column names (label, ret, bars).",
          [](const Args& a) {
            const auto made =
                unwrap(a.apply<Names, std::uint64_t, Names, std::optional<double>, std::optional<double>>(
                    &TripleBarrier::create));
            TargetConfig c = config_of(made);
            c.options = {made.upper(), made.lower()};
            return c;
          },
          [](const TargetConfig& c) {
            return rebuilt(
                TripleBarrier::create(c.inputs, c.horizon, c.outputs, c.options.at(0), c.options.at(1)));
          },
          [](const TargetConfig& c, const char* name) {
            return render_repr(name, {{"inputs", list_form(c.inputs)},
                                      {"horizon", std::to_string(c.horizon)},
                                      {"outputs", list_form(c.outputs)},
                                      {"upper", multiple_repr(c.options.at(0))},
                                      {"lower", multiple_repr(c.options.at(1))}});
          },
          [](const Target& t) {
            const auto& core = static_cast<const TripleBarrier&>(t);
            TargetConfig c = config_of(core);
            c.options = {core.upper(), core.lower()};
            return c;
          },
      }),
      target<MetaLabel>({
          "vexal.MetaLabel",
          "MetaLabel(inputs, outputs)\n--\n\nWhether a primary model's side was right. inputs: [label, "
          "side]. 1 "
          "where the sign of the side is that of a non-zero label, 0 where it is not or the label is 0, NaN "
          "where "
          "either is NaN or the side is 0. Reads its own bar only: its forward period is 0.",
          kInputsOutputs,
          kOutputNamesDoc,
          [](const Args& a) { return validated<Names, Names>(a, &MetaLabel::create); },
          [](const TargetConfig& c) { return rebuilt(MetaLabel::create(c.inputs, c.outputs)); },
          [](const TargetConfig& c, const char* name) {
            return render_repr(name, {{"inputs", list_form(c.inputs)}, {"outputs", list_form(c.outputs)}});
          },
      }),
  };
}

// Registered on the module after the published names, outside __all__.
const std::vector<Entry>& also_registered() {
  static const std::vector<Entry> entries = [] {
    std::vector<Entry> all = {function(load_function_def())};
    for (Entry& e : indicators()) all.push_back(std::move(e));
    for (Entry& e : model_labels()) all.push_back(std::move(e));
    return all;
  }();
  return entries;
}

}  // namespace

void register_everything(PyObject* module) {
  for (const Entry& e : published()) add_to_module(module, e.name, e.object(module).get());
  for (const Entry& e : also_registered()) set_on_module(module, e.name, e.object(module).get());
}

}  // namespace vexal::py
