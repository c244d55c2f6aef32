#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "alloc_counter.hpp"
#include "features/ad_line.hpp"
#include "features/adx.hpp"
#include "features/aroon.hpp"
#include "features/atr.hpp"
#include "features/bollinger_bands.hpp"
#include "features/cci.hpp"
#include "features/chaikin_oscillator.hpp"
#include "features/cmf.hpp"
#include "features/cmo.hpp"
#include "features/cusum_filter.hpp"
#include "features/donchian.hpp"
#include "features/ema.hpp"
#include "features/ewm_mean.hpp"
#include "features/ewm_std.hpp"
#include "features/frac_diff.hpp"
#include "features/garman_klass_volatility.hpp"
#include "features/hma.hpp"
#include "features/ichimoku.hpp"
#include "features/kama.hpp"
#include "features/keltner.hpp"
#include "features/linear_slope.hpp"
#include "features/macd.hpp"
#include "features/mfi.hpp"
#include "features/obv.hpp"
#include "features/parabolic_sar.hpp"
#include "features/parkinson_volatility.hpp"
#include "features/ppo.hpp"
#include "features/roc.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "features/rolling_correlation.hpp"
#include "features/rolling_covariance.hpp"
#include "features/rolling_quantile.hpp"
#include "features/rolling_std.hpp"
#include "features/rsi.hpp"
#include "features/skewness.hpp"
#include "features/sma.hpp"
#include "features/stoch_rsi.hpp"
#include "features/stochastic.hpp"
#include "features/supertrend.hpp"
#include "features/true_range.hpp"
#include "features/ultimate_oscillator.hpp"
#include "features/vwap.hpp"
#include "features/williams_r.hpp"
#include "features/yang_zhang_volatility.hpp"
#include "internal_failure.hpp"
#include "operators/abs.hpp"
#include "operators/add.hpp"
#include "operators/clip.hpp"
#include "operators/lag.hpp"
#include "operators/log.hpp"
#include "operators/multiply.hpp"
#include "operators/neg_log.hpp"
#include "operators/ratio.hpp"
#include "operators/sign.hpp"
#include "operators/subtract.hpp"
#include "series_support.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"
#include "tools/rolling.hpp"
#include "windowed.hpp"

namespace vexal {
namespace {

using testing::absent;
using testing::NaN;

const Names one = {"x"};
const Names hlc = {"h", "l", "c"};
const Names ohlc = {"o", "h", "l", "c"};
const Names hlcv = {"h", "l", "c", "v"};
const std::size_t huge = std::size_t{1} << 60;
const double inf = std::numeric_limits<double>::infinity();
const std::optional<double> open_side = std::nullopt;
const std::optional<double> none = std::nullopt;

// "accepted", or the text of the error a create returned.
template <class Made>
std::string outcome(const Made& made) {
  return made ? std::string("accepted") : made.error().display();
}
template <class T, class... Args>
std::function<std::string()> creating(Args... args) {
  return [=] { return outcome(T::create(args...)); };
}

struct Refusal {
  const char* name;
  std::function<std::string()> create;
  const char* message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class IndicatorCreate : public ::testing::TestWithParam<Refusal> {};

TEST_P(IndicatorCreate, RefusesWithItsMessageInOrder) {
  const std::string message = GetParam().message;
  EXPECT_EQ(GetParam().create(), message == "accepted" ? message : "Invalid input: " + message);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, IndicatorCreate,
    ::testing::Values(
        Refusal{"rsi_inputs", creating<Rsi>(Names{}, 0, Names{}), "inputs must not be empty"},
        Refusal{"rsi_window", creating<Rsi>(one, 0, one), "window must be non-zero"},
        Refusal{"rsi_huge", creating<Rsi>(one, huge, one), "window is too large"},
        Refusal{"tr_inputs", creating<TrueRange>(Names{"h", "l"}, Names{}),
                "inputs must contain high, low, and close columns"},
        Refusal{"atr_inputs", creating<Atr>(Names{"h", "l"}, 0, Names{}),
                "inputs must contain high, low, and close columns"},
        Refusal{"adx_outputs", creating<Adx>(hlc, 0, Names{"a", "p"}),
                "outputs must contain exactly 3 names: [adx, plus_di, minus_di]"},
        Refusal{"adx_huge", creating<Adx>(hlc, huge, Names{"a", "p", "m"}), "window is too large"},
        Refusal{"bands_outputs", creating<BollingerBands>(one, 0, one, 2.0),
                "outputs must contain exactly 5 names: [middle, upper, lower, percent_b, bandwidth]"},
        Refusal{"bands_window", creating<BollingerBands>(one, 0, Names{"m", "u", "l", "p", "b"}, 0.0),
                "window must be non-zero"},
        Refusal{"bands_zero_k", creating<BollingerBands>(one, 5, Names{"m", "u", "l", "p", "b"}, 0.0),
                "k must be finite and > 0"},
        Refusal{"bands_nan_k", creating<BollingerBands>(one, 5, Names{"m", "u", "l", "p", "b"}, NaN),
                "k must be finite and > 0"},
        Refusal{"macd_outputs", creating<Macd>(one, Names{"m", "s"}, 12, 26, 9),
                "outputs must contain exactly 3 names: [macd, signal, histogram]"},
        Refusal{"macd_fast", creating<Macd>(one, Names{"m", "s", "h"}, 0, 0, 0), "fast must be non-zero"},
        Refusal{"macd_slow", creating<Macd>(one, Names{"m", "s", "h"}, 12, 12, 0), "slow must be > fast"},
        Refusal{"macd_signal", creating<Macd>(one, Names{"m", "s", "h"}, 12, 26, 0),
                "signal must be non-zero"},
        Refusal{"stoch_outputs", creating<Stochastic>(hlc, 0, one, 0, 0),
                "outputs must contain exactly 2 names: [k, d]"},
        Refusal{"stoch_smooth_k", creating<Stochastic>(hlc, 5, Names{"k", "d"}, 0, 0),
                "smooth_k must be non-zero"},
        Refusal{"stoch_smooth_d", creating<Stochastic>(hlc, 5, Names{"k", "d"}, 3, 0),
                "smooth_d must be non-zero"},
        Refusal{"willr_inputs", creating<WilliamsR>(one, 0, Names{}),
                "inputs must contain high, low, and close columns"},
        Refusal{"donchian_outputs", creating<Donchian>(Names{"h", "l"}, 5, one),
                "outputs must contain exactly 3 names: [upper, lower, middle]"},
        Refusal{"fracdiff_d", creating<FracDiff>(one, 2.5, one, 1e-5, 10), "d must be in [0, 2]"},
        Refusal{"fracdiff_threshold", creating<FracDiff>(one, 0.5, one, 0.0, 10),
                "threshold must be positive and finite"},
        Refusal{"fracdiff_width", creating<FracDiff>(one, 0.4, one, 1e-5, 5),
                "d=0.4 with threshold=1e-05 needs more than 5 weights (max_window); raise threshold or "
                "max_window"},
        Refusal{"cusum_inputs", creating<CusumFilter>(hlc, 1.0, one), "inputs must contain 1 or 2 columns"},
        Refusal{"cusum_threshold", creating<CusumFilter>(one, -1.0, one),
                "threshold must be positive and finite"},
        Refusal{"obv_inputs", creating<Obv>(one, one), "inputs must contain close and volume columns"},
        Refusal{"vwap_inputs", creating<Vwap>(hlc, 5, one),
                "inputs must contain high, low, close, and volume columns"},
        Refusal{"std_window", creating<RollingStd>(one, 1, one), "window must be >= 2"},
        Refusal{"corr_inputs", creating<RollingCorrelation>(one, 5, one),
                "inputs must contain x and y columns"},
        Refusal{"quantile_below", creating<RollingQuantile>(one, 5, one, -0.1), "q must be in [0, 1]"},
        Refusal{"quantile_above", creating<RollingQuantile>(one, 5, one, 1.5), "q must be in [0, 1]"},
        Refusal{"quantile_nan", creating<RollingQuantile>(one, 5, one, NaN), "q must be in [0, 1]"},
        Refusal{"quantile_zero", creating<RollingQuantile>(one, 5, one, 0.0), "accepted"},
        Refusal{"quantile_huge", creating<RollingQuantile>(one, huge, one, 0.5), "window is too large"},
        Refusal{"gk_inputs", creating<GarmanKlassVolatility>(hlc, 5, one),
                "inputs must contain open, high, low, and close columns"},
        Refusal{"yz_window", creating<YangZhangVolatility>(ohlc, 1, one), "window must be >= 2"},
        Refusal{"lag_inputs", creating<Lag>(Names{"a", "b"}, 1, one), "inputs must contain exactly 1 column"},
        Refusal{"lag_k", creating<Lag>(one, 0, one), "k must be non-zero"},
        Refusal{"lag_huge", creating<Lag>(one, SIZE_MAX, one), "window is too large"},
        Refusal{"ratio_inputs", creating<Ratio>(one, one), "inputs must contain exactly 2 columns"},
        Refusal{"add_inputs", creating<Add>(one, one), "inputs must contain exactly 2 columns"},
        Refusal{"multiply_outputs", creating<Multiply>(Names{"a", "b"}, Names{}),
                "outputs must not be empty"},
        Refusal{"abs_inputs", creating<Abs>(Names{"a", "b"}, one), "inputs must contain exactly 1 column"},
        Refusal{"log_inputs", creating<Log>(Names{}, one), "inputs must contain exactly 1 column"},
        Refusal{"sign_outputs", creating<Sign>(one, Names{}), "outputs must not be empty"},
        Refusal{"clip_order", creating<Clip>(one, one, 2.0, 1.0), "lower must be <= upper"},
        Refusal{"clip_nan_lower", creating<Clip>(one, one, NaN, open_side),
                "lower must be a number, or None for no lower bound"},
        Refusal{"clip_nan_upper", creating<Clip>(one, one, -inf, NaN),
                "upper must be a number, or None for no upper bound"},
        Refusal{"clip_equal", creating<Clip>(one, one, 1.0, 1.0), "accepted"},
        Refusal{"clip_open", creating<Clip>(one, one, open_side, open_side), "accepted"},
        Refusal{"ppo_slow", creating<Ppo>(one, one, 12, 12), "slow must be > fast"},
        Refusal{"hma_window", creating<Hma>(one, 1, one), "window must be >= 2"},
        Refusal{"hma_huge", creating<Hma>(one, huge, one), "window is too large"},
        Refusal{"adline_inputs", creating<AdLine>(hlc, one),
                "inputs must contain high, low, close, and volume columns"},
        Refusal{"adosc_fast", creating<ChaikinOscillator>(hlcv, one, 0, 10), "fast must be non-zero"},
        Refusal{"adosc_slow", creating<ChaikinOscillator>(hlcv, one, 3, 3), "slow must be > fast"},
        Refusal{"mfi_huge", creating<Mfi>(hlcv, SIZE_MAX, one), "window is too large"},
        Refusal{"stochrsi_outputs", creating<StochRsi>(one, 14, one, 5, 3),
                "outputs must contain exactly 2 names: [k, d]"},
        Refusal{"stochrsi_k", creating<StochRsi>(one, 14, Names{"k", "d"}, 0, 3),
                "k_window must be non-zero"},
        Refusal{"stochrsi_d", creating<StochRsi>(one, 14, Names{"k", "d"}, 5, 0),
                "d_window must be non-zero"},
        Refusal{"ultosc_medium", creating<UltimateOscillator>(hlc, one, 7, 7, 28), "medium must be > fast"},
        Refusal{"ultosc_slow", creating<UltimateOscillator>(hlc, one, 7, 14, 14), "slow must be > medium"},
        Refusal{"ultosc_huge", creating<UltimateOscillator>(hlc, one, 7, 14, SIZE_MAX),
                "window is too large"},
        Refusal{"cov_window", creating<RollingCovariance>(Names{"x", "y"}, 1, one), "window must be >= 2"},
        Refusal{"ewm_none", creating<EwmMean>(one, one, none, none, none),
                "give exactly one of alpha, span and halflife"},
        Refusal{"ewm_two", creating<EwmStd>(one, one, 0.5, 3.0, none),
                "give exactly one of alpha, span and halflife"},
        Refusal{"ewm_alpha", creating<EwmMean>(one, one, 0.0, none, none), "alpha must be in (0, 1]"},
        Refusal{"ewm_alpha_one", creating<EwmMean>(one, one, 1.0, none, none), "accepted"},
        Refusal{"ewm_span", creating<EwmMean>(one, one, none, 0.5, none), "span must be finite and >= 1"},
        Refusal{"ewm_halflife", creating<EwmStd>(one, one, none, none, NaN),
                "halflife must be finite and > 0"},
        Refusal{"aroon_outputs", creating<Aroon>(Names{"h", "l"}, 5, one),
                "outputs must contain exactly 3 names: [up, down, oscillator]"},
        Refusal{"keltner_multiple", creating<Keltner>(hlc, 5, Names{"m", "u", "l"}, 0.0),
                "multiple must be finite and > 0"},
        Refusal{"supertrend_outputs", creating<Supertrend>(hlc, one, std::size_t{10}, 3.0),
                "outputs must contain exactly 2 names: [line, direction]"},
        Refusal{"sar_maximum", creating<ParabolicSar>(Names{"h", "l"}, one, 0.02, 0.01),
                "maximum must be finite and >= acceleration"},
        Refusal{"ichimoku_kijun",
                creating<Ichimoku>(Names{"h", "l"}, Names{"t", "k", "a", "b"}, std::size_t{9}, std::size_t{0},
                                   std::size_t{52}),
                "kijun must be non-zero"}),
    [](const auto& info) { return std::string(info.param.name); });

// The shared checks give the existing classes' texts, so those classes can
// move onto them unchanged.
struct SameText {
  const char* name;
  std::function<std::string()> shared;
  std::function<std::string()> existing;
};

void PrintTo(const SameText& s, std::ostream* os) { *os << s.name; }

template <class... Checks>
std::function<std::string()> checking(Checks... checks) {
  return [=] {
    const auto failure = first_failure(checks...);
    return failure ? VexalError(failure->error()).display() : "accepted";
  };
}

class SharedChecks : public ::testing::TestWithParam<SameText> {};

TEST_P(SharedChecks, SayWhatTheExistingClassesSay) { EXPECT_EQ(GetParam().shared(), GetParam().existing()); }

INSTANTIATE_TEST_SUITE_P(
    Messages, SharedChecks,
    ::testing::Values(
        SameText{"inputs", checking(inputs_not_empty({})), creating<Sma>(Names{}, 1, one)},
        SameText{"outputs", checking(outputs_not_empty({})), creating<Sma>(one, 1, Names{})},
        SameText{"window", checking(window_non_zero(0)), creating<Sma>(one, 0, one)},
        SameText{"at_least_1", checking(window_at_least(0, 1)), creating<Kama>(one, 0, one, 2, 30)},
        SameText{"at_least_2", checking(window_at_least(1, 2)),
                 creating<LinearSlope>(Names{"x", "y"}, 1, Names{"s", "r"})},
        SameText{"at_least_3", checking(window_at_least(2, 3)), creating<Skewness>(one, 2, one)},
        SameText{"exactly_1", checking(inputs_exactly({}, 1)), creating<NegLog>(Names{}, one)},
        SameText{"exactly_2", checking(inputs_exactly(one, 2)), creating<Subtract>(one, one)},
        SameText{"high_low", checking(inputs_contain(one, 2, "high and low")),
                 creating<ParkinsonVolatility>(one, 1, one)},
        SameText{"slope_outputs", checking(outputs_exactly(one, 2, "[slope, r2]")),
                 creating<LinearSlope>(Names{"x", "y"}, 2, one)},
        // The first failure in the order given, not in a fixed one.
        SameText{"order",
                 checking(inputs_contain(ohlc, 4, "high, low, open, and close"), window_non_zero(0),
                          outputs_not_empty({})),
                 creating<RogersSatchellVolatility>(ohlc, 0, Names{})},
        SameText{"passes", checking(window_non_zero(3), require(true, "unused")),
                 [] { return std::string("accepted"); }}),
    [](const auto& info) { return std::string(info.param.name); });

// Short hand-computed series, NaN meaning absent: the formulas, their order
// of operations and the undefined cases that come out absent.
struct Worked {
  const char* name;
  std::function<std::unique_ptr<StreamingTransform>()> build;
  std::vector<std::vector<double>> bars;
  std::size_t output;
  Series expected;
};

void PrintTo(const Worked& w, std::ostream* os) { *os << w.name; }

template <class T, class... Args>
std::function<std::unique_ptr<StreamingTransform>()> make(Args... args) {
  return [=] { return std::unique_ptr<StreamingTransform>(std::make_unique<T>(T::create(args...).value())); };
}

class WorkedExample : public ::testing::TestWithParam<Worked> {};

TEST_P(WorkedExample, GivesTheHandComputedValues) {
  auto t = GetParam().build();
  Series out;
  for (const auto& b : GetParam().bars) {
    std::vector<OptionalValue> values;
    for (double x : b) values.push_back(testing::bar(x));
    out.push_back(t->update(values).at(GetParam().output));
  }
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, out, GetParam().expected);
}

const Names bands = {"m", "u", "l", "p", "b"};

INSTANTIATE_TEST_SUITE_P(
    Indicators, WorkedExample,
    ::testing::Values(
        // Changes +1, +1, -1: seeded 1 and 0, then (1·1 + 0)/2 and (0·1 + 1)/2.
        Worked{"rsi_wilder", make<Rsi>(one, 2, one), {{1}, {2}, {3}, {2}}, 0, {absent, absent, 100.0, 50.0}},
        Worked{"rsi_flat", make<Rsi>(one, 2, one), {{5}, {5}, {5}, {5}}, 0, {absent, absent, absent, absent}},
        Worked{"atr_wilder",
               make<Atr>(hlc, 2, one),
               {{10, 8, 9}, {11, 9, 10}, {12, 10, 11}, {12, 12, 12}},
               0,
               {absent, absent, 2.0, 1.5}},
        // Divided by w, not multiplied by 1/w (which gives 1.6666666666666665).
        Worked{"atr_divides_by_w",
               make<Atr>(hlc, 3, one),
               {{1, 0, 0.5}, {1, 0, 0.5}, {1, 0, 0.5}, {1, 0, 0.5}, {2, -1, 0.5}},
               0,
               {absent, absent, absent, 1.0, 5.0 / 3.0}},
        // The swapped bar has no range, but its close still serves the next.
        Worked{"tr_swapped",
               make<TrueRange>(hlc, one),
               {{10, 8, 9}, {8, 10, 20}, {10, 8, 9}},
               0,
               {absent, absent, 12.0}},
        Worked{"bands_flat_percent_b",
               make<BollingerBands>(one, 3, bands, 2.0),
               {{3}, {3}, {3}},
               3,
               {absent, absent, absent}},
        Worked{"bands_flat_middle",
               make<BollingerBands>(one, 3, bands, 2.0),
               {{3}, {3}, {3}},
               0,
               {absent, absent, 3.0}},
        Worked{
            "bands_zero_middle", make<BollingerBands>(one, 2, bands, 1.0), {{-1}, {1}}, 4, {absent, absent}},
        Worked{"bands_percent_b", make<BollingerBands>(one, 2, bands, 1.0), {{-1}, {1}}, 3, {absent, 1.0}},
        // +0.0 at the top of the range, not -0.0.
        Worked{"willr_top", make<WilliamsR>(hlc, 2, one), {{10, 8, 9}, {12, 9, 12}}, 0, {absent, 0.0}},
        Worked{"willr_bottom", make<WilliamsR>(hlc, 2, one), {{10, 8, 9}, {12, 9, 8}}, 0, {absent, -100.0}},
        Worked{"willr_flat", make<WilliamsR>(hlc, 1, one), {{5, 5, 5}}, 0, {absent}},
        Worked{"fracdiff_first_difference",
               make<FracDiff>(one, 1.0, one, 1e-5, 10),
               {{1}, {4}},
               0,
               {absent, 3.0}},
        // w1 = -0.5 is kept, w2 = -0.125 falls below the threshold.
        Worked{"fracdiff_half", make<FracDiff>(one, 0.5, one, 0.3, 10), {{2}, {6}}, 0, {absent, 5.0}},
        Worked{"cusum_events",
               make<CusumFilter>(one, 1.0, one),
               {{1}, {1.5}, {2.2}, {2.0}, {0.5}},
               0,
               {absent, 0.0, 1.0, 0.0, -1.0}},
        // A zero scale gives no value and keeps the sums; the change is still taken from that bar.
        Worked{"cusum_scaled",
               make<CusumFilter>(Names{"x", "s"}, 1.0, one),
               {{1, 1}, {2, 0}, {2.7, 1}},
               0,
               {absent, absent, 0.0}},
        Worked{"stoch_raw",
               make<Stochastic>(hlc, 1, Names{"k", "d"}, 1, 1),
               {{10, 8, 9}, {5, 5, 5}},
               0,
               {50.0, absent}},
        Worked{"stoch_d",
               make<Stochastic>(hlc, 1, Names{"k", "d"}, 1, 2),
               {{10, 8, 9}, {10, 8, 10}},
               1,
               {absent, 75.0}},
        // Changes +1, +1, -1: G, L seeded 1 and 0, then both 0.5.
        Worked{"cmo_wilder", make<Cmo>(one, 2, one), {{1}, {2}, {3}, {2}}, 0, {absent, absent, 100.0, 0.0}},
        Worked{"roc_from_zero", make<Roc>(one, 1, one), {{0}, {1}, {2}}, 0, {absent, absent, 100.0}},
        // half 1, root 1: 2 · 6 − (3 + 2 · 6) / 3.
        Worked{"hma_two", make<Hma>(one, 2, one), {{3}, {6}}, 0, {absent, 7.0}},
        // Flows 0.5 · 100, 0 on the flat bar, −1 · 10.
        Worked{"adline_flows",
               make<AdLine>(hlcv, one),
               {{10, 8, 9.5, 100}, {5, 5, 5, 100}, {12, 10, 10, 10}},
               0,
               {50.0, 50.0, 40.0}},
        Worked{
            "cmf_no_volume", make<Cmf>(hlcv, 2, one), {{10, 8, 9, 0}, {10, 8, 10, 0}}, 0, {absent, absent}},
        // Typical prices 3, 4, 2: a rising flow of 4 · 2, a falling one of 2 · 1.
        Worked{"mfi_flows",
               make<Mfi>(hlcv, 2, one),
               {{3, 3, 3, 1}, {4, 4, 4, 2}, {2, 2, 2, 1}},
               0,
               {absent, absent, 80.0}},
        // Typical prices 126.56666666666666 and 126.56666666666668: one rounding apart, no change.
        Worked{"mfi_rounding_tie",
               make<Mfi>(hlcv, 1, one),
               {{127.6, 124.5, 127.6, 1}, {127.8, 125.5, 126.4, 1}},
               0,
               {absent, absent}},
        Worked{"ultosc_flat",
               make<UltimateOscillator>(hlc, one, 1, 2, 3),
               {{5, 5, 5}, {5, 5, 5}, {5, 5, 5}, {5, 5, 5}},
               0,
               {absent, absent, absent, absent}},
        Worked{"cci_flat", make<Cci>(hlc, 2, one), {{3, 3, 3}, {3, 3, 3}}, 0, {absent, absent}},
        // Typical prices 1 and 3: mean 2, mean deviation 1.
        Worked{"cci_value", make<Cci>(hlc, 2, one), {{1, 1, 1}, {3, 3, 3}}, 0, {absent, 1.0 / 0.015}},
        Worked{"vwap_no_volume",
               make<Vwap>(Names{"h", "l", "c", "v"}, 2, one),
               {{9, 9, 9, 0}, {9, 9, 9, 0}},
               0,
               {absent, absent}},
        Worked{"vwap_negative_volume",
               make<Vwap>(Names{"h", "l", "c", "v"}, 1, one),
               {{9, 9, 9, -1}},
               0,
               {absent}},
        Worked{"vwap_value",
               make<Vwap>(Names{"h", "l", "c", "v"}, 2, one),
               {{3, 3, 3, 1}, {6, 6, 6, 2}},
               0,
               {absent, 5.0}},
        // Seeded with the volume, unchanged on an equal close, restarted
        // after a gap and after a negative volume.
        Worked{"obv_total",
               make<Obv>(Names{"c", "v"}, one),
               {{10, 100}, {11, 50}, {10, 30}, {10, 20}, {NaN, 5}, {9, 7}, {8, 1}, {9, -1}, {9, 4}},
               0,
               {100.0, 150.0, 120.0, 120.0, absent, 7.0, 6.0, absent, 4.0}},
        Worked{"ratio",
               make<Ratio>(Names{"a", "b"}, one),
               {{1, 0}, {1, 4}, {NaN, 2}, {0, -2}},
               0,
               {absent, 0.25, absent, -0.0}},
        Worked{
            "add", make<Add>(Names{"a", "b"}, one), {{1, 2}, {inf, -inf}, {NaN, 1}}, 0, {3.0, NaN, absent}},
        Worked{"multiply", make<Multiply>(Names{"a", "b"}, one), {{0, inf}, {-2, 3}}, 0, {NaN, -6.0}},
        Worked{"abs", make<Abs>(one, one), {{-0.0}, {-inf}, {2}}, 0, {0.0, inf, 2.0}},
        // e^1 and 1 come out exact; zero and below have no logarithm.
        Worked{"log",
               make<Log>(one, one),
               {{std::numbers::e}, {1}, {0}, {-2}, {inf}},
               0,
               {1.0, 0.0, absent, absent, inf}},
        // -0.0 is 0 and gives +0.0, as numpy's sign does.
        Worked{"sign", make<Sign>(one, one), {{-2}, {-0.0}, {1e-300}, {-inf}}, 0, {-1.0, 0.0, 1.0, -1.0}},
        Worked{
            "clip", make<Clip>(one, one, -1.0, 2.0), {{-3}, {0.5}, {5}, {NaN}}, 0, {-1.0, 0.5, 2.0, absent}},
        // A value at the bound is kept as it is: -0.0 stays -0.0 at a lower bound of 0.
        Worked{"clip_lower_only",
               make<Clip>(one, one, 0.0, open_side),
               {{-0.0}, {-1}, {1e300}},
               0,
               {-0.0, 0.0, 1e300}},
        Worked{"lag",
               make<Lag>(one, 2, one),
               {{1}, {2}, {NaN}, {4}, {5}},
               0,
               {absent, absent, 1.0, 2.0, absent}},
        Worked{"corr_constant",
               make<RollingCorrelation>(Names{"x", "y"}, 2, one),
               {{1, 1}, {1, 2}},
               0,
               {absent, absent}},
        Worked{"corr_opposed",
               make<RollingCorrelation>(Names{"x", "y"}, 3, one),
               {{1, 3}, {2, 2}, {3, 1}},
               0,
               {absent, absent, -1.0}},
        // h = 0.9 · 2 = 1.8 between 20 and 30: 30 − 10 · 0.2.
        Worked{"quantile_upper_branch",
               make<RollingQuantile>(one, 3, one, 0.9),
               {{30}, {10}, {20}},
               0,
               {absent, absent, 30.0 - (30.0 - 20.0) * (1.0 - (2.0 * 0.9 - 1.0))}},
        Worked{
            "quantile_window_one", make<RollingQuantile>(one, 1, one, 0.3), {{7}, {NaN}}, 0, {7.0, absent}},
        Worked{"gk_swapped",
               make<GarmanKlassVolatility>(ohlc, 1, one),
               {{10, 9, 12, 11}, {0, 12, 9, 11}},
               0,
               {absent, absent}},
        Worked{"gk_flat", make<GarmanKlassVolatility>(ohlc, 1, one), {{10, 10, 10, 10}}, 0, {0.0}},
        // Window 1 and multiple 1: each band hl2 +/- the bar's true range; the upper band holds at 12
        // while the closes stay below it, the close of 7 under the lower band of 9 turns the trend
        // down, and the close of 13 over the upper band of 10 turns it up again.
        Worked{"supertrend_line",
               make<Supertrend>(hlc, Names{"s", "d"}, std::size_t{1}, 1.0),
               {{10, 8, 9}, {11, 9, 10}, {12, 10, 11}, {10, 6, 7}, {9, 7, 8}, {14, 12, 13}},
               0,
               {absent, 8.0, 9.0, 12.0, 10.0, 7.0}},
        Worked{"supertrend_direction",
               make<Supertrend>(hlc, Names{"s", "d"}, std::size_t{1}, 1.0),
               {{10, 8, 9}, {11, 9, 10}, {12, 10, 11}, {10, 6, 7}, {9, 7, 8}, {14, 12, 13}},
               1,
               {absent, 1.0, 1.0, -1.0, -1.0, 1.0}},
        // Periods 2, 3, 4: tenkan 9.5, 10, 10.5 and kijun 9.5, 10, 10 from bar 2, at the bar itself.
        Worked{"ichimoku_senkou_a",
               make<Ichimoku>(Names{"h", "l"}, Names{"t", "k", "a", "b"}, std::size_t{2}, std::size_t{3},
                              std::size_t{4}),
               {{10, 8}, {12, 9}, {11, 7}, {13, 10}, {9, 8}},
               2,
               {absent, absent, 9.5, 10.0, 10.25}},
        Worked{"ichimoku_senkou_b",
               make<Ichimoku>(Names{"h", "l"}, Names{"t", "k", "a", "b"}, std::size_t{2}, std::size_t{3},
                              std::size_t{4}),
               {{10, 8}, {12, 9}, {11, 7}, {13, 10}, {9, 8}},
               3,
               {absent, absent, absent, 10.0, 10.0}},
        // alpha 0.5 over 1, 3: mean 2, biased variance 1, squared weights 0.5, so sqrt(1 / 0.5).
        Worked{"ewm_std_unbiased",
               make<EwmStd>(one, one, 0.5, none, none),
               {{1}, {3}},
               0,
               {absent, std::sqrt(2.0)}},
        Worked{"adx_flat",
               make<Adx>(hlc, 2, Names{"a", "p", "m"}),
               {{5, 5, 5}, {5, 5, 5}, {5, 5, 5}, {5, 5, 5}},
               1,
               {absent, absent, absent, absent}}),
    [](const auto& info) { return std::string(info.param.name); });

// On gap-free bars each output arrives at its own bar; the warm-up is that
// of the last.
struct Arrival {
  const char* name;
  std::function<std::unique_ptr<StreamingTransform>()> build;
  std::vector<std::size_t> first_present;  // per output
};

void PrintTo(const Arrival& a, std::ostream* os) { *os << a.name; }

class OutputArrival : public ::testing::TestWithParam<Arrival> {};

TEST_P(OutputArrival, EachOutputStartsAtItsBar) {
  const auto table = testing::Table::read(testing::fixture_path("indicator_reference.csv"));
  const auto bars = testing::bars_of({&table["high"], &table["low"], &table["close"]});
  auto t = GetParam().build();
  std::vector<std::size_t> first(t->output_names().size(), bars.size());
  for (std::size_t i = 0; i < 100; ++i) {
    const UpdateResult r = t->update(bars[i]);
    for (std::size_t k = 0; k < r.size(); ++k) {
      if (r[k] && first[k] == bars.size()) first[k] = i;
    }
  }
  EXPECT_EQ(first, GetParam().first_present);
  EXPECT_EQ(t->warm_up_period(), *std::max_element(first.begin(), first.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Indicators, OutputArrival,
    ::testing::Values(Arrival{"Adx", make<Adx>(hlc, 5, Names{"a", "p", "m"}), {9, 5, 5}},
                      Arrival{"Macd",
                              [] {
                                return std::unique_ptr<StreamingTransform>(
                                    new Macd(Macd::create(one, Names{"m", "s", "h"}, 3, 7, 4).value()));
                              },
                              {6, 9, 9}},
                      Arrival{"Stochastic", make<Stochastic>(hlc, 5, Names{"k", "d"}, 2, 4), {5, 8}},
                      Arrival{"Keltner", make<Keltner>(hlc, 5, Names{"m", "u", "l"}, 2.0), {4, 5, 5}},
                      Arrival{"Aroon", make<Aroon>(hlc, 5, Names{"u", "d", "o"}), {5, 5, 5}},
                      Arrival{
                          "Supertrend", make<Supertrend>(hlc, Names{"s", "d"}, std::size_t{5}, 3.0), {5, 5}},
                      Arrival{"ParabolicSar", make<ParabolicSar>(hlc, one, 0.02, 0.2), {1}},
                      Arrival{"Ichimoku",
                              make<Ichimoku>(hlc, Names{"t", "k", "a", "b"}, std::size_t{3}, std::size_t{5},
                                             std::size_t{7}),
                              {2, 4, 4, 6}},
                      Arrival{"BollingerBands", make<BollingerBands>(one, 4, bands, 2.0), {3, 3, 3, 3, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

// Where a value is computed twice it is computed the same way: Macd's line
// is the library's Ema difference, RollingStd the series tool.
TEST(SharedArithmetic, AgreesBitForBitWithTheLibrarysOwnPieces) {
  const auto table = testing::Table::read(testing::fixture_path("indicator_reference.csv"));
  const auto closes = testing::bars_of({&table["close"]});
  auto macd = Macd::create(one, Names{"m", "s", "h"}).value();
  auto fast = Ema::create(one, 12, one).value();
  auto slow = Ema::create(one, 26, one).value();
  auto std = RollingStd::create(one, 14, one).value();
  Series line;
  Series difference;
  Series stds;
  for (const auto& bar : closes) {
    line.push_back(macd.update(bar)[0]);
    const OptionalValue f = fast.update(bar)[0];
    const OptionalValue s = slow.update(bar)[0];
    difference.push_back(f && s ? OptionalValue(*f - *s) : std::nullopt);
    stds.push_back(std.update(bar)[0]);
  }
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, line, difference);
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, stds, rolling(testing::series(table["close"]), 14));

  // With no overnight and no open-to-close moves, only the range term is
  // left: (1 − k) times the mean Rogers-Satchell term, in its order.
  auto yz = YangZhangVolatility::create(ohlc, 2, one).value();
  const std::vector<std::vector<OptionalValue>> flat = {
      {10.0, 12.0, 9.0, 10.0}, {10.0, 12.0, 9.0, 10.0}, {10.0, 11.0, 8.0, 10.0}};
  Series out;
  for (const auto& bar : flat) out.push_back(yz.update(bar)[0]);
  const auto term = [](double o, double h, double l, double c) {
    return std::log(l / o) * std::log(l / c) + std::log(h / o) * std::log(h / c);
  };
  const double k = 0.34 / (1.34 + 3.0 / 1.0);
  const double rs_mean = (0.0 + term(10, 12, 9, 10) + term(10, 11, 8, 10)) / 2.0;
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, out,
                      (Series{absent, absent, std::sqrt(0.0 + k * 0.0 + (1.0 - k) * rs_mean)}));
}

// The shared contract feeds (high, low, open, close); the open-first
// estimators get the same promises checked on bars in their own order, with
// a gap at bar 100 and a high below its low at bar 200.
class OpenFirstContract : public ::testing::TestWithParam<const char*> {
 protected:
  static const std::vector<std::vector<OptionalValue>>& bars() {
    static const auto all = [] {
      const auto table = testing::Table::read(testing::fixture_path("indicator_reference.csv"));
      auto out = testing::bars_of({&table["open"], &table["high"], &table["low"], &table["close"]});
      out.resize(300);
      out[100][3] = std::nullopt;
      std::swap(out[200][1], out[200][2]);
      return out;
    }();
    return all;
  }
  std::unique_ptr<StreamingTransform> build() const {
    if (std::string(GetParam()) == "GarmanKlassVolatility")
      return make<GarmanKlassVolatility>(ohlc, 5, one)();
    return make<YangZhangVolatility>(ohlc, 5, one)();
  }
  static Series feed(StreamingTransform& t, std::size_t from, std::size_t to) {
    return testing::run_bars(t, {bars().begin() + from, bars().begin() + to});
  }
};

TEST_P(OpenFirstContract, ResetFreshShortBarsSnapshotsPeeksAndAllocationsKeepThePromises) {
  auto t = build();
  const Series expected = feed(*t, 0, 300);
  EXPECT_EQ(expected[t->warm_up_period() - 1], std::nullopt);
  EXPECT_TRUE(expected[t->warm_up_period()].has_value());
  auto copy = t->fresh();
  t->reset();
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, feed(*copy, 0, 300), expected);
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, feed(*t, 0, 150),
                      Series(expected.begin(), expected.begin() + 150));
  for (std::size_t n = 0; n < 4; ++n)
    EXPECT_THROW(t->update(std::span(bars()[150].data(), n)), InternalFailure);
  // Restored from a snapshot at bar 150, a copy goes on bit for bit; a peek
  // shows the next value and changes nothing.
  auto restored = restore_transform(snapshot_of(*t), GetParam());
  ASSERT_TRUE(restored) << restored.error().display();
  const testing::AllocationCounter allocations;
  for (std::size_t i = 150; i < 300; ++i) {
    ASSERT_TRUE(testing::same_value((*restored)->peek(bars()[i])[0], expected[i])) << i;
    ASSERT_TRUE(testing::same_value((*restored)->update(bars()[i])[0], expected[i])) << i;
    ASSERT_TRUE(testing::same_value(t->update(bars()[i])[0], expected[i])) << i;
  }
  EXPECT_EQ(allocations.count(), 0u);
  EXPECT_EQ(snapshot_of(**restored), snapshot_of(*t));
}

INSTANTIATE_TEST_SUITE_P(Estimators, OpenFirstContract,
                         ::testing::Values("GarmanKlassVolatility", "YangZhangVolatility"));

// A snapshot is rebuilt through create, and what no update can leave
// behind is refused with what is wrong.
TEST(IndicatorSnapshots, FieldFailuresSayWhatIsWrong) {
  const auto failure = [](std::string_view tag, auto&& fields) {
    SnapshotWriter out;
    out.text(tag);
    fields(out);
    auto made = restore_transform(out.finish(), tag);
    return made ? std::string("loaded") : made.error().display();
  };
  const std::string p = "Invalid input: snapshot: ";
  const auto bands = [](double k) {
    return [=](SnapshotWriter& out) {
      out.names({"x"});
      out.names({"m", "u", "l", "p", "b"});
      out.size(3);
      out.f64(k);
      out.size(0);
    };
  };
  EXPECT_EQ(failure("BollingerBands", bands(1.5)), "loaded");
  EXPECT_EQ(failure("BollingerBands", bands(-1.0)),
            p + "BollingerBands refused its stored configuration: k must be finite and > 0");
  EXPECT_EQ(failure("Vwap",
                    [](SnapshotWriter& out) {
                      out.names({"h", "l", "c", "v"});
                      out.names({"w"});
                      out.size(3);
                      out.size(2);
                      out.value(1.0);
                      out.value(1.0);
                      out.size(1);
                      out.value(1.0);
                    }),
            p + "Vwap holds windows of different lengths");
  EXPECT_EQ(failure("Atr",
                    [](SnapshotWriter& out) {
                      out.names(hlc);
                      out.names({"a"});
                      out.size(3);
                      out.value(10.0);
                      out.value(2.0);
                      out.size(1);
                      out.value(1.0);
                    }),
            p + "a Wilder average holds an average and seed values at once");
  EXPECT_EQ(failure("Obv",
                    [](SnapshotWriter& out) {
                      out.names({"c", "v"});
                      out.names({"o"});
                      out.value(std::nullopt);
                      out.value(5.0);
                    }),
            p + "Obv holds a total without a previous close or the other way round");
  EXPECT_EQ(failure("Macd",
                    [](SnapshotWriter& out) {
                      out.names(one);
                      out.names({"m", "s", "h"});
                      out.size(2);
                      out.size(3);
                      out.size(2);
                      out.text("Sma");
                    }),
            p + "Macd holds a Sma where an Ema belongs");
}

}  // namespace
}  // namespace vexal
