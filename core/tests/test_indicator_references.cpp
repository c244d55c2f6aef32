#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "features/adx.hpp"
#include "features/atr.hpp"
#include "features/bollinger_bands.hpp"
#include "features/cci.hpp"
#include "features/garman_klass_volatility.hpp"
#include "features/macd.hpp"
#include "features/obv.hpp"
#include "features/rolling_correlation.hpp"
#include "features/rolling_max.hpp"
#include "features/rolling_min.hpp"
#include "features/rolling_quantile.hpp"
#include "features/rolling_std.hpp"
#include "features/rsi.hpp"
#include "features/stochastic.hpp"
#include "features/true_range.hpp"
#include "features/vwap.hpp"
#include "features/williams_r.hpp"
#include "features/yang_zhang_volatility.hpp"
#include "series_support.hpp"

// Every indicator against TA-Lib (plain bars) or numpy per window (bars with
// gaps, where a window holding a gap is NaN in numpy and must be absent
// here), from fixtures/indicator_reference.csv.

namespace vexal {
namespace {

using Factory = std::function<std::unique_ptr<StreamingTransform>()>;

template <class T, class... Args>
Factory make(Args... args) {
  return [=] { return std::unique_ptr<StreamingTransform>(std::make_unique<T>(T::create(args...).value())); };
}

const Names one = {"x"};
const Names hlc = {"h", "l", "c"};

struct Reference {
  const char* name;
  Factory build;
  std::vector<const char*> columns;  // fed in this order
  std::size_t output;
  const char* expected;
  std::size_t from;  // earlier bars are the reference's own warm-up or seeding
  double tolerance;  // relative, with the same floor absolute; 0 means bit for bit
};

void PrintTo(const Reference& r, std::ostream* os) { *os << r.name; }

const testing::Table& table() {
  static const testing::Table t = testing::Table::read(testing::fixture_path("indicator_reference.csv"));
  return t;
}

std::vector<Reference> references() {
  const Names bands = {"m", "u", "l", "pb", "bw"};
  const auto macd = [] {
    return std::unique_ptr<StreamingTransform>(
        std::make_unique<Macd>(Macd::create(one, {"m", "s", "h"}).value()));
  };
  return {
      // TA-Lib seeds RSI and ATR with the simple average of the first
      // window, as here, but its Wilder step multiplies by 1/w where this one
      // divides by w: a few ulps apart.
      {"Rsi_talib", make<Rsi>(one, 14, one), {"close"}, 0, "rsi", 0, 1e-13},
      {"TrueRange_talib", make<TrueRange>(hlc, one), {"high", "low", "close"}, 0, "trange", 0, 0},
      {"Atr_talib", make<Atr>(hlc, 14, one), {"high", "low", "close"}, 0, "atr", 0, 1e-13},
      {"Obv_talib", make<Obv>(Names{"c", "v"}, one), {"close", "volume"}, 0, "obv", 0, 0},
      // TA-Lib seeds the directional sums over window - 1 bars and the
      // Emas of MACD at other bars (the fast one on the slow one's first
      // bar), so those agree only once the seeds have decayed.
      {"Adx_talib", make<Adx>(hlc, 14, Names{"a", "p", "m"}), {"high", "low", "close"}, 0, "adx", 400, 1e-9},
      {"PlusDi_talib",
       make<Adx>(hlc, 14, Names{"a", "p", "m"}),
       {"high", "low", "close"},
       1,
       "plus_di",
       400,
       1e-9},
      {"MinusDi_talib",
       make<Adx>(hlc, 14, Names{"a", "p", "m"}),
       {"high", "low", "close"},
       2,
       "minus_di",
       400,
       1e-9},
      {"MacdLine_talib", macd, {"close"}, 0, "macd", 400, 1e-9},
      {"MacdSignal_talib", macd, {"close"}, 1, "macd_signal", 400, 1e-9},
      {"MacdHistogram_talib", macd, {"close"}, 2, "macd_hist", 400, 1e-9},
      // TA-Lib keeps running sums (its deviation as E[x²] − E[x]²) and
      // scales in another order: close, not exact. Its STOCH gives k only
      // with d, two bars after k can be present.
      {"BollingerMiddle_talib",
       make<BollingerBands>(one, 20, bands, 2.0),
       {"close"},
       0,
       "bb_middle",
       0,
       1e-12},
      {"BollingerUpper_talib", make<BollingerBands>(one, 20, bands, 2.0), {"close"}, 1, "bb_upper", 0, 1e-9},
      {"BollingerLower_talib", make<BollingerBands>(one, 20, bands, 2.0), {"close"}, 2, "bb_lower", 0, 1e-9},
      {"StochasticK_talib",
       make<Stochastic>(hlc, 14, Names{"k", "d"}, 3, 3),
       {"high", "low", "close"},
       0,
       "stoch_k",
       17,
       1e-9},
      {"StochasticD_talib",
       make<Stochastic>(hlc, 14, Names{"k", "d"}, 3, 3),
       {"high", "low", "close"},
       1,
       "stoch_d",
       0,
       1e-9},
      {"WilliamsR_talib", make<WilliamsR>(hlc, 14, one), {"high", "low", "close"}, 0, "willr", 0, 1e-12},
      {"Cci_talib", make<Cci>(hlc, 20, one), {"high", "low", "close"}, 0, "cci", 0, 1e-9},
      // numpy sums pairwise: a few ulps apart.
      {"BollingerMiddle_gaps",
       make<BollingerBands>(one, 20, bands, 2.0),
       {"g_close"},
       0,
       "g_middle",
       0,
       1e-14},
      {"BollingerUpper_gaps", make<BollingerBands>(one, 20, bands, 2.0), {"g_close"}, 1, "g_upper", 0, 1e-14},
      {"BollingerLower_gaps", make<BollingerBands>(one, 20, bands, 2.0), {"g_close"}, 2, "g_lower", 0, 1e-14},
      {"BollingerPercentB_gaps",
       make<BollingerBands>(one, 20, bands, 2.0),
       {"g_close"},
       3,
       "g_percent_b",
       0,
       1e-11},
      {"BollingerBandwidth_gaps",
       make<BollingerBands>(one, 20, bands, 2.0),
       {"g_close"},
       4,
       "g_bandwidth",
       0,
       1e-11},
      {"WilliamsR_gaps",
       make<WilliamsR>(hlc, 14, one),
       {"g_high", "g_low", "g_close"},
       0,
       "g_willr",
       0,
       1e-12},
      {"Cci_gaps", make<Cci>(hlc, 20, one), {"g_high", "g_low", "g_close"}, 0, "g_cci", 0, 1e-11},
      {"Vwap_gaps",
       make<Vwap>(Names{"h", "l", "c", "v"}, 14, one),
       {"g_high", "g_low", "g_close", "g_volume"},
       0,
       "g_vwap",
       0,
       1e-14},
      {"RollingMin_gaps", make<RollingMin>(one, 14, one), {"g_close"}, 0, "g_min", 0, 0},
      {"RollingMax_gaps", make<RollingMax>(one, 14, one), {"g_close"}, 0, "g_max", 0, 0},
      {"RollingStd_gaps", make<RollingStd>(one, 14, one), {"g_close"}, 0, "g_std", 0, 1e-12},
      {"RollingCorrelation_gaps",
       make<RollingCorrelation>(Names{"x", "y"}, 14, one),
       {"g_high", "g_volume"},
       0,
       "g_corr",
       0,
       1e-12},
      {"GarmanKlass_gaps",
       make<GarmanKlassVolatility>(Names{"o", "h", "l", "c"}, 14, one),
       {"g_open", "g_high", "g_low", "g_close"},
       0,
       "g_gk",
       0,
       1e-12},
      {"YangZhang_gaps",
       make<YangZhangVolatility>(Names{"o", "h", "l", "c"}, 14, one),
       {"g_open", "g_high", "g_low", "g_close"},
       0,
       "g_yz",
       0,
       1e-12},
      // The quantile interpolates exactly as numpy does: bit for bit, on
      // both branches of its interpolation (fractions 0.75, 0.5, 0.4, 0.05).
      {"Quantile25_close", make<RollingQuantile>(one, 20, one, 0.25), {"g_close"}, 0, "q0.25_close", 0, 0},
      {"Quantile25_noise", make<RollingQuantile>(one, 20, one, 0.25), {"noise"}, 0, "q0.25_noise", 0, 0},
      {"Quantile50_close", make<RollingQuantile>(one, 20, one, 0.5), {"g_close"}, 0, "q0.5_close", 0, 0},
      {"Quantile50_noise", make<RollingQuantile>(one, 20, one, 0.5), {"noise"}, 0, "q0.5_noise", 0, 0},
      {"Quantile60_close", make<RollingQuantile>(one, 20, one, 0.6), {"g_close"}, 0, "q0.6_close", 0, 0},
      {"Quantile60_noise", make<RollingQuantile>(one, 20, one, 0.6), {"noise"}, 0, "q0.6_noise", 0, 0},
      {"Quantile95_close", make<RollingQuantile>(one, 20, one, 0.95), {"g_close"}, 0, "q0.95_close", 0, 0},
      {"Quantile95_noise", make<RollingQuantile>(one, 20, one, 0.95), {"noise"}, 0, "q0.95_noise", 0, 0},
  };
}

class IndicatorReference : public ::testing::TestWithParam<Reference> {};

TEST_P(IndicatorReference, AgreesFromItsFirstComparableBar) {
  const Reference& r = GetParam();
  std::vector<std::vector<OptionalValue>> bars(table().rows());
  for (const char* column : r.columns) {
    for (std::size_t t = 0; t < bars.size(); ++t) bars[t].push_back(testing::bar(table()[column][t]));
  }
  auto transform = r.build();
  const Series out = testing::run_bars(*transform, bars, r.output);
  const Series expected = testing::series(table()[r.expected]);
  const Series actual_tail(out.begin() + static_cast<std::ptrdiff_t>(r.from), out.end());
  const Series expected_tail(expected.begin() + static_cast<std::ptrdiff_t>(r.from), expected.end());
  ASSERT_GT(std::count_if(expected_tail.begin(), expected_tail.end(), [](auto v) { return v.has_value(); }),
            1000);
  if (r.tolerance == 0) {
    EXPECT_PRED_FORMAT2(testing::SeriesIdentical, actual_tail, expected_tail);
  } else {
    EXPECT_TRUE(testing::SeriesNear(actual_tail, expected_tail, r.tolerance, r.tolerance));
  }
}

// A bar with every value missing starts the transform over: from the next
// bar on, it gives what a new one fed only the later bars gives, bit for
// bit (the recursive ones seed again, the windows holding it pass).
TEST_P(IndicatorReference, ABlankBarActsAsAFreshStart) {
  const Reference& r = GetParam();
  constexpr std::size_t blank = 300;
  std::vector<std::vector<OptionalValue>> bars(table().rows());
  for (const char* column : r.columns) {
    for (std::size_t t = 0; t < bars.size(); ++t) bars[t].push_back(testing::bar(table()[column][t]));
  }
  for (OptionalValue& v : bars[blank]) v.reset();
  auto gappy = r.build();
  const Series out = testing::run_bars(*gappy, bars, r.output);
  auto fresh = r.build();
  const std::vector<std::vector<OptionalValue>> later(bars.begin() + blank + 1, bars.end());
  EXPECT_EQ(out[blank], std::nullopt);
  EXPECT_PRED_FORMAT2(testing::SeriesIdentical, Series(out.begin() + blank + 1, out.end()),
                      testing::run_bars(*fresh, later, r.output));
}

INSTANTIATE_TEST_SUITE_P(Indicators, IndicatorReference, ::testing::ValuesIn(references()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexal
