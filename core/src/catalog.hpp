#pragma once

// Every transform and target, in the module's order: the snapshot tag
// table, the module's names, the order in which a pipeline recognises its
// features and targets, the stubs and the reference all follow this list.
// A new class is its own file and one row here, appended at the end so the
// order of the names before it does not change.

#include <cstddef>
#include <tuple>

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
#include "features/dema.hpp"
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
#include "features/kurtosis.hpp"
#include "features/linear_slope.hpp"
#include "features/log_return.hpp"
#include "features/macd.hpp"
#include "features/mfi.hpp"
#include "features/momentum.hpp"
#include "features/obv.hpp"
#include "features/parabolic_sar.hpp"
#include "features/parkinson_volatility.hpp"
#include "features/ppo.hpp"
#include "features/roc.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "features/rolling_correlation.hpp"
#include "features/rolling_covariance.hpp"
#include "features/rolling_mad.hpp"
#include "features/rolling_max.hpp"
#include "features/rolling_min.hpp"
#include "features/rolling_quantile.hpp"
#include "features/rolling_rank.hpp"
#include "features/rolling_std.hpp"
#include "features/rolling_sum.hpp"
#include "features/rsi.hpp"
#include "features/simple_return.hpp"
#include "features/skewness.hpp"
#include "features/sma.hpp"
#include "features/stoch_rsi.hpp"
#include "features/stochastic.hpp"
#include "features/supertrend.hpp"
#include "features/tema.hpp"
#include "features/trix.hpp"
#include "features/true_range.hpp"
#include "features/ultimate_oscillator.hpp"
#include "features/vwap.hpp"
#include "features/williams_r.hpp"
#include "features/wma.hpp"
#include "features/yang_zhang_volatility.hpp"
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
#include "scalers/fixed_zscore.hpp"
#include "scalers/rolling_zscore.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_drawdown.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_max.hpp"
#include "targets/future_min.hpp"
#include "targets/future_return.hpp"
#include "targets/meta_label.hpp"
#include "targets/triple_barrier.hpp"

namespace vexal {

template <class... T>
struct ClassList {
  static constexpr std::size_t size = sizeof...(T);
  template <std::size_t I>
  using at = std::tuple_element_t<I, std::tuple<T...>>;
};

// The classes published in the module's __all__, in its order (the
// pipelines and fit_standard_scaler are placed among them by the binding).
using PublishedClasses =
    ClassList<Sma, Ema, Kama, SimpleReturn, LogReturn, Skewness, Kurtosis, LinearSlope, ParkinsonVolatility,
              RogersSatchellVolatility, Subtract, NegLog, RollingZScore, FixedZScore, FutureReturn,
              FutureCTCVolatility, FutureLinearSlope>;

// The classes after them, one row each.
using LaterClasses = ClassList<  //
    Rsi,                         //
    TrueRange,                   //
    Atr,                         //
    Adx,                         //
    BollingerBands,              //
    Macd,                        //
    Stochastic,                  //
    WilliamsR,                   //
    Cci,                         //
    Obv,                         //
    Vwap,                        //
    RollingMin,                  //
    RollingMax,                  //
    RollingStd,                  //
    RollingCorrelation,          //
    RollingQuantile,             //
    GarmanKlassVolatility,       //
    YangZhangVolatility,         //
    Lag,                         //
    Ratio,                       //
    TripleBarrier,               //
    MetaLabel,                   //
    Wma,                         //
    Dema,                        //
    Tema,                        //
    Donchian,                    //
    FracDiff,                    //
    CusumFilter,                 //
    Add,                         //
    Multiply,                    //
    Abs,                         //
    Log,                         //
    Sign,                        //
    Clip,                        //
    FutureMax,                   //
    FutureMin,                   //
    FutureDrawdown,              //
    Momentum,                    //
    Roc,                         //
    Cmo,                         //
    Trix,                        //
    Ppo,                         //
    Hma,                         //
    AdLine,                      //
    ChaikinOscillator,           //
    Cmf,                         //
    Mfi,                         //
    StochRsi,                    //
    UltimateOscillator,          //
    RollingSum,                  //
    RollingMad,                  //
    RollingCovariance,           //
    RollingRank,                 //
    EwmMean,                     //
    EwmStd,                      //
    Aroon,                       //
    Keltner,                     //
    Supertrend,                  //
    ParabolicSar,                //
    Ichimoku                     //
    >;

// Calls f.template operator()<T>() for every class of the list, in order.
template <class List, class F>
constexpr void for_each_class(F&& f) {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (f.template operator()<typename List::template at<I>>(), ...);
  }(std::make_index_sequence<List::size>{});
}

template <class F>
constexpr void for_every_class(F&& f) {
  for_each_class<PublishedClasses>(f);
  for_each_class<LaterClasses>(f);
}

}  // namespace vexal
