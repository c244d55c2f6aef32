"""The indicators against TA-Lib and numpy on the bundled SPY bars: live,
research from lists and from an array, and after a snapshot, bit for bit
alike; a gap occupies only the windows that hold it."""

import csv
import math
import struct
from importlib import resources

import numpy as np
import pandas as pd
import pytest

import vexal

talib = pytest.importorskip("talib")

BARS = 1500
DATA = resources.files("vexal") / "data"


@pytest.fixture(scope="module")
def data(spy):
    return with_derived({k: np.asarray(v[:BARS]) for k, v in spy.items()})


def btc_bars():
    # The hourly file lists the newest bar first.
    rows = list(csv.reader(DATA.joinpath("Coinbase_BTCUSD_1h.csv").open()))[2:][::-1][:BARS]
    at = {"open": 2, "high": 3, "low": 4, "close": 5, "volume": 7}
    return {k: np.array([float(r[i]) for r in rows]) for k, i in at.items()}


def random_walk(seed=7):
    # Bars of every shape: wide and narrow ranges, closes at either end, volume from nothing to a lot.
    rng = np.random.default_rng(seed)
    close = 50 * np.exp(np.cumsum(rng.normal(0, 0.02, BARS)))
    open_ = np.concatenate([[50.0], close[:-1]]) * np.exp(rng.normal(0, 0.005, BARS))
    high = np.maximum(open_, close) * np.exp(np.abs(rng.normal(0, 0.01, BARS)))
    low = np.minimum(open_, close) * np.exp(-np.abs(rng.normal(0, 0.01, BARS)))
    return {"open": open_, "high": high, "low": low, "close": close, "volume": rng.lognormal(10, 1, BARS)}


def with_derived(bars):
    # A scale for the dynamic thresholds, zero on the flat bars; a move of either sign, and the close above the
    # low, each zero on some bars; closes rounded to whole dollars, so a window holds ties.
    return {**bars, "range": bars["high"] - bars["low"], "move": bars["close"] - bars["open"],
            "from_low": bars["close"] - bars["low"], "rounded": np.round(bars["close"])}


def rolling(x, window, stat):
    out = np.full(len(x), np.nan)
    for t in range(window - 1, len(x)):
        out[t] = stat(x[t - window + 1 : t + 1])
    return out


def yang_zhang(o, h, l, c, n):
    overnight = np.concatenate([[np.nan], np.log(o[1:] / c[:-1])])
    rs = np.log(h / c) * np.log(h / o) + np.log(l / c) * np.log(l / o)
    k = 0.34 / (1.34 + (n + 1) / (n - 1))
    var = lambda x: rolling(x, n, lambda w: np.var(w, ddof=1))  # noqa: E731
    return [np.sqrt(var(overnight) + k * var(np.log(c / o)) + (1 - k) * rolling(rs, n, np.mean))]


HLC = ["high", "low", "close"]
OHLC = ["open", "high", "low", "close"]
HLCV = [*HLC, "volume"]


def cmf(d, n):
    h, l, c, v = (d[k] for k in HLCV)
    flow = np.where(h > l, ((c - l) - (h - c)) / np.where(h > l, h - l, 1.0) * v, 0.0)
    return rolling(flow, n, np.sum) / rolling(v, n, np.sum)

# (indicator, columns it reads, reference outputs, first bar compared, tolerance; 0 means bit for bit).
# TA-Lib multiplies by 1/w in its Wilder step and keeps running sums; its ADX and MACD seed at other
# bars, so those two are compared once the seeds have decayed.
CASES = {
    "Rsi": (lambda: vexal.Rsi(["close"], 14, ["rsi"]), ["close"], lambda d: [talib.RSI(d["close"], 14)], 0, 1e-13),
    "TrueRange": (lambda: vexal.TrueRange(HLC, ["tr"]), HLC, lambda d: [talib.TRANGE(d["high"], d["low"], d["close"])],
                  0, 0),
    "Atr": (lambda: vexal.Atr(HLC, 14, ["atr"]), HLC, lambda d: [talib.ATR(d["high"], d["low"], d["close"], 14)], 0,
            1e-13),
    "Adx": (lambda: vexal.Adx(HLC, 14, ["adx", "pdi", "mdi"]), HLC,
            lambda d: [f(d["high"], d["low"], d["close"], 14) for f in (talib.ADX, talib.PLUS_DI, talib.MINUS_DI)],
            400, 1e-9),
    "BollingerBands": (lambda: vexal.BollingerBands(["close"], 20, ["m", "u", "l", "pb", "bw"], k=2.5), ["close"],
                       lambda d: [*np.asarray(talib.BBANDS(d["close"], 20, 2.5, 2.5))[[1, 0, 2]], None, None], 0,
                       1e-9),
    "Macd": (lambda: vexal.Macd(["close"], ["m", "s", "h"]), ["close"], lambda d: list(talib.MACD(d["close"])), 400,
             1e-9),
    "Stochastic": (lambda: vexal.Stochastic(HLC, 14, ["k", "d"], smooth_k=3, smooth_d=4), HLC,
                   lambda d: list(talib.STOCH(d["high"], d["low"], d["close"], 14, 3, 0, 4, 0)), 18, 1e-9),
    "WilliamsR": (lambda: vexal.WilliamsR(HLC, 14, ["w"]), HLC,
                  lambda d: [talib.WILLR(d["high"], d["low"], d["close"], 14)], 0, 1e-12),
    "Cci": (lambda: vexal.Cci(HLC, 20, ["cci"]), HLC, lambda d: [talib.CCI(d["high"], d["low"], d["close"], 20)],
            0, 1e-9),
    "Obv": (lambda: vexal.Obv(["close", "volume"], ["obv"]), ["close", "volume"],
            lambda d: [talib.OBV(d["close"], d["volume"])], 0, 0),
    "Vwap": (lambda: vexal.Vwap([*HLC, "volume"], 10, ["vwap"]), [*HLC, "volume"],
             lambda d: [rolling((d["high"] + d["low"] + d["close"]) / 3 * d["volume"], 10, np.sum)
                        / rolling(d["volume"], 10, np.sum)], 0, 1e-13),
    "RollingMin": (lambda: vexal.RollingMin(["close"], 10, ["lo"]), ["close"],
                   lambda d: [rolling(d["close"], 10, np.min)], 0, 0),
    "RollingMax": (lambda: vexal.RollingMax(["close"], 10, ["hi"]), ["close"],
                   lambda d: [rolling(d["close"], 10, np.max)], 0, 0),
    "RollingStd": (lambda: vexal.RollingStd(["close"], 10, ["sd"]), ["close"],
                   lambda d: [rolling(d["close"], 10, lambda w: np.std(w, ddof=1))], 0, 1e-12),
    "RollingCorrelation": (lambda: vexal.RollingCorrelation(["close", "volume"], 10, ["r"]), ["close", "volume"],
                           lambda d: [rolling(np.arange(BARS), 10, lambda i: np.corrcoef(
                               d["close"][i], d["volume"][i])[0, 1])], 0, 1e-12),
    "RollingQuantile": (lambda: vexal.RollingQuantile(["close"], 15, ["q"], q=0.3), ["close"],
                        lambda d: [rolling(d["close"], 15, lambda w: np.quantile(w, 0.3))], 0, 0),
    "GarmanKlassVolatility": (lambda: vexal.GarmanKlassVolatility(OHLC, 10, ["gk"]), OHLC,
                              lambda d: [np.sqrt(rolling(0.5 * np.log(d["high"] / d["low"]) ** 2 - (
                                  2 * math.log(2) - 1) * np.log(d["close"] / d["open"]) ** 2, 10, np.mean))], 0, 1e-12),
    "YangZhangVolatility": (lambda: vexal.YangZhangVolatility(OHLC, 10, ["yz"]), OHLC,
                            lambda d: yang_zhang(d["open"], d["high"], d["low"], d["close"], 10), 0, 1e-12),
    "Lag": (lambda: vexal.Lag(["close"], 3, ["prev"]), ["close"],
            lambda d: [np.concatenate([[np.nan] * 3, d["close"][:-3]])], 0, 0),
    "Ratio": (lambda: vexal.Ratio(["close", "open"], ["q"]), ["close", "open"],
              lambda d: [d["close"] / d["open"]], 0, 0),
    "Wma": (lambda: vexal.Wma(["close"], 10, ["wma"]), ["close"], lambda d: [talib.WMA(d["close"], 10)], 0, 1e-13),
    "Dema": (lambda: vexal.Dema(["close"], 10, ["dema"]), ["close"], lambda d: [talib.DEMA(d["close"], 10)], 0,
             1e-13),
    "Tema": (lambda: vexal.Tema(["close"], 10, ["tema"]), ["close"], lambda d: [talib.TEMA(d["close"], 10)], 0,
             1e-13),
    "FracDiff": (lambda: vexal.FracDiff(["close"], 0.4, ["fd"], threshold=1e-4), ["close"],
                 lambda d: [frac_diff(d["close"], 0.4, 1e-4)], 0, 1e-12),
    "CusumFilter": (lambda: vexal.CusumFilter(["close", "range"], 4.0, ["event"]), ["close", "range"],
                    lambda d: [cusum(d["close"], 4.0, d["range"])], 0, 0),
    "Donchian": (lambda: vexal.Donchian(["high", "low"], 20, ["u", "l", "m"]), ["high", "low"],
                 lambda d: [rolling(d["high"], 20, np.max), rolling(d["low"], 20, np.min),
                            (rolling(d["high"], 20, np.max) + rolling(d["low"], 20, np.min)) / 2], 0, 0),
    "Add": (lambda: vexal.Add(["close", "open"], ["s"]), ["close", "open"], lambda d: [d["close"] + d["open"]], 0, 0),
    "Multiply": (lambda: vexal.Multiply(["close", "volume"], ["p"]), ["close", "volume"],
                 lambda d: [d["close"] * d["volume"]], 0, 0),
    "Abs": (lambda: vexal.Abs(["move"], ["a"]), ["move"], lambda d: [np.abs(d["move"])], 0, 0),
    # A close at the low has no logarithm. numpy's SIMD log is off the C library's by an ulp on a few values
    # in a thousand, so the C library's, through math.log, is the bit-for-bit reference.
    "Log": (lambda: vexal.Log(["from_low"], ["l"]), ["from_low"],
            lambda d: [np.array([math.log(v) if v > 0 else math.nan for v in d["from_low"]])], 0, 0),
    "Sign": (lambda: vexal.Sign(["move"], ["s"]), ["move"], lambda d: [np.sign(d["move"])], 0, 0),
    "Clip": (lambda: vexal.Clip(["move"], ["c"], -1.0, 0.5), ["move"], lambda d: [np.clip(d["move"], -1.0, 0.5)], 0,
             0),
    "ClipBelow": (lambda: vexal.Clip(["move"], ["c"], upper=0.25), ["move"],
                  lambda d: [np.minimum(d["move"], 0.25)], 0, 0),
    "Momentum": (lambda: vexal.Momentum(["close"], 10, ["mom"]), ["close"], lambda d: [talib.MOM(d["close"], 10)], 0,
                 0),
    "Roc": (lambda: vexal.Roc(["close"], 10, ["roc"]), ["close"], lambda d: [talib.ROC(d["close"], 10)], 0, 0),
    "Cmo": (lambda: vexal.Cmo(["close"], 14, ["cmo"]), ["close"], lambda d: [talib.CMO(d["close"], 14)], 0, 0),
    "Trix": (lambda: vexal.Trix(["close"], 15, ["trix"]), ["close"], lambda d: [talib.TRIX(d["close"], 15)], 0, 1e-9),
    "Ppo": (lambda: vexal.Ppo(["close"], ["ppo"]), ["close"], lambda d: [talib.PPO(d["close"], 12, 26, 1)], 0, 1e-9),
    "Hma": (lambda: vexal.Hma(["close"], 16, ["hma"]), ["close"],
            lambda d: [talib.WMA(2 * talib.WMA(d["close"], 8) - talib.WMA(d["close"], 16), 4)], 0, 1e-12),
    "AdLine": (lambda: vexal.AdLine(HLCV, ["ad"]), HLCV, lambda d: [talib.AD(*(d[c] for c in HLCV))], 0, 0),
    "ChaikinOscillator": (lambda: vexal.ChaikinOscillator(HLCV, ["adosc"]), HLCV,
                          lambda d: [talib.ADOSC(*(d[c] for c in HLCV), 3, 10)], 120, 1e-9),
    "Cmf": (lambda: vexal.Cmf(HLCV, 20, ["cmf"]), HLCV, lambda d: [cmf(d, 20)], 0, 1e-12),
    "Mfi": (lambda: vexal.Mfi(HLCV, 14, ["mfi"]), HLCV, lambda d: [talib.MFI(*(d[c] for c in HLCV), 14)], 0, 1e-12),
    "StochRsi": (lambda: vexal.StochRsi(["close"], 14, ["k", "d"]), ["close"],
                 lambda d: list(talib.STOCHRSI(d["close"], 14, 5, 3, 0)), 20, 1e-9),
    "UltimateOscillator": (lambda: vexal.UltimateOscillator(HLC, ["uo"]), HLC,
                           lambda d: [talib.ULTOSC(d["high"], d["low"], d["close"], 7, 14, 28)], 0, 0),
    "RollingSum": (lambda: vexal.RollingSum(["volume"], 10, ["s"]), ["volume"],
                   lambda d: [pd.Series(d["volume"]).rolling(10).sum()], 0, 1e-12),
    "RollingMad": (lambda: vexal.RollingMad(["close"], 10, ["mad"]), ["close"],
                   lambda d: [rolling(d["close"], 10, lambda w: np.mean(np.abs(w - w.mean())))], 0, 1e-12),
    "RollingCovariance": (lambda: vexal.RollingCovariance(["close", "volume"], 10, ["cov"]), ["close", "volume"],
                          lambda d: [rolling(np.arange(BARS), 10, lambda i: np.cov(d["close"][i], d["volume"][i])[0, 1])],
                          0, 1e-12),
    # Rounded closes tie often, so the average ranks are exercised.
    "RollingRank": (lambda: vexal.RollingRank(["rounded"], 15, ["rank"]), ["rounded"],
                    lambda d: [pd.Series(d["rounded"]).rolling(15).rank(pct=True)], 0, 0),
    "EwmMean": (lambda: vexal.EwmMean(["close"], ["m"], span=20.0), ["close"],
                lambda d: [pd.Series(d["close"]).ewm(span=20.0, adjust=False).mean()], 0, 1e-12),
    "EwmStd": (lambda: vexal.EwmStd(["close"], ["sd"], halflife=7.5), ["close"],
               lambda d: [pd.Series(d["close"]).ewm(halflife=7.5, adjust=False).std()], 0, 1e-9),
    "Aroon": (lambda: vexal.Aroon(["high", "low"], 14, ["u", "d", "o"]), ["high", "low"],
              lambda d: [*talib.AROON(d["high"], d["low"], 14)[::-1], talib.AROONOSC(d["high"], d["low"], 14)], 0, 0),
    "Keltner": (lambda: vexal.Keltner(HLC, 20, ["m", "u", "l"]), HLC,
                lambda d: [(e := talib.EMA(d["close"], 20)), e + 2 * (a := talib.ATR(d["high"], d["low"], d["close"], 20)),
                           e - 2 * a], 0, 1e-12),
    "Supertrend": (lambda: vexal.Supertrend(HLC, ["line", "dir"]), HLC,
                   lambda d: supertrend(d["high"], d["low"], d["close"], 10, 3.0), 0, 1e-12),
    "ParabolicSar": (lambda: vexal.ParabolicSar(["high", "low"], ["sar"]), ["high", "low"],
                     lambda d: [talib.SAR(d["high"], d["low"], 0.02, 0.2)], 0, 1e-12),
    "Ichimoku": (lambda: vexal.Ichimoku(["high", "low"], ["t", "k", "a", "b"]), ["high", "low"],
                 lambda d: [(t := talib.MIDPRICE(d["high"], d["low"], 9)), (k := talib.MIDPRICE(d["high"], d["low"], 26)),
                            (t + k) / 2, talib.MIDPRICE(d["high"], d["low"], 52)], 0, 0),
}


def supertrend(high, low, close, window, multiple):
    atr = talib.ATR(high, low, close, window)
    line, direction, bands, trend = np.full(len(close), np.nan), np.full(len(close), np.nan), None, 1.0
    for t in range(len(close)):
        if math.isnan(atr[t]):
            bands = None
            continue
        upper, lower = (high[t] + low[t]) / 2 + multiple * atr[t], (high[t] + low[t]) / 2 - multiple * atr[t]
        if bands is None:
            trend = 1.0
        else:
            upper = upper if upper < bands[0] or close[t - 1] > bands[0] else bands[0]
            lower = lower if lower > bands[1] or close[t - 1] < bands[1] else bands[1]
            trend = 1.0 if trend < 0 and close[t] > bands[0] else -1.0 if trend > 0 and close[t] < bands[1] else trend
        bands = (upper, lower)
        line[t], direction[t] = (lower if trend > 0 else upper), trend
    return [line, direction]


def frac_diff(x, d, threshold=1e-5):
    weights = [1.0]
    while abs(w := -weights[-1] * (d - len(weights) + 1) / len(weights)) >= threshold:
        weights.append(w)
    return rolling(x, len(weights), lambda window: float(np.dot(window, weights[::-1])))


def cusum(x, threshold, scale=None):
    out, up, down, last = np.full(len(x), np.nan), 0.0, 0.0, None
    for t, v in enumerate(x):
        if math.isnan(v):
            continue
        previous, last = last, v
        h = threshold * (1.0 if scale is None else scale[t])
        if previous is None or not h > 0:
            continue
        up, down = max(0.0, up + v - previous), min(0.0, down + v - previous)
        out[t] = 1.0 if up > h else -1.0 if down < -h else 0.0
        up, down = (0.0 if up > h else up), (0.0 if out[t] == -1.0 else down)
    return out


def bits(rows):
    return [[struct.pack("<d", v) for v in row] for row in rows]


@pytest.mark.parametrize("name", CASES)
def test_live_research_arrays_and_snapshots_agree_and_match_the_reference(name, data):
    make, columns, reference, first, tolerance = CASES[name]
    bars = np.column_stack([data[c] for c in columns])
    live_obj = make()
    live = [live_obj.update(list(b)) for b in bars]
    pipeline = vexal.FeaturePipeline([make()], input_columns=columns)
    assert bits(pipeline.run_research(bars.tolist())) == bits(live)
    assert bits(pipeline.run_research(bars)) == bits(live)
    # Restored mid-stream, it carries on bit for bit.
    halfway = make()
    for b in bars[:700]:
        halfway.update(list(b))
    restored = vexal.load(halfway.snapshot())
    assert bits(restored.update(list(b)) for b in bars[700:]) == bits(live[700:])

    got = np.asarray(live)
    for k, expected in enumerate(reference(data)):
        if expected is None:
            continue
        a, e = got[first:, k], np.asarray(expected)[first:]
        assert (np.isnan(a) == np.isnan(e)).all(), (k, np.flatnonzero(np.isnan(a) != np.isnan(e))[:5])
        assert (~np.isnan(a)).sum() > BARS / 2
        if tolerance == 0:
            assert bits([a[~np.isnan(a)]]) == bits([e[~np.isnan(e)]]), k
        else:
            np.testing.assert_allclose(a, e, rtol=tolerance, atol=tolerance, err_msg=f"output {k}")


@pytest.mark.parametrize("name", CASES)
def test_a_missing_bar_spoils_only_what_depends_on_it(name, data):
    make, columns, _, _, _ = CASES[name]
    bars = np.column_stack([data[c] for c in columns])[:400]
    gappy = bars.copy()
    gappy[200] = np.nan
    out = vexal.FeaturePipeline([make()], input_columns=columns).run_research(gappy)
    clean = vexal.FeaturePipeline([make()], input_columns=columns).run_research(bars)
    assert bits(out[:200]) == bits(clean[:200])
    if name == "CusumFilter":
        # The gap gives no value and leaves the sums: the next change is taken from the bar before it.
        skipped = vexal.FeaturePipeline([make()], input_columns=columns).run_research(np.delete(bars, 200, axis=0))
        assert all(math.isnan(v) for v in out[200]) and bits(out[201:]) == bits(skipped[200:])
        return
    if name == "Lag":
        # The gap comes out three bars later, and only there.
        assert math.isnan(out[203][0]) and bits(out[201:203] + out[204:]) == bits(clean[201:203] + clean[204:])
        return
    if name in ("Momentum", "Roc"):
        # A lookback of 10 misses the gap as its new value and as its old one, and nowhere else.
        assert math.isnan(out[200][0]) and math.isnan(out[210][0])
        assert bits(out[201:210] + out[211:]) == bits(clean[201:210] + clean[211:])
        return
    # From the bar after it, everything is what a new object fed only the later bars gives.
    fresh = vexal.FeaturePipeline([make()], input_columns=columns).run_research(bars[201:])
    assert all(math.isnan(v) for v in out[200])
    assert bits(out[201:]) == bits(fresh)


@pytest.mark.parametrize("source", ["btc", "walk"])
@pytest.mark.parametrize("name", CASES)
def test_the_reference_holds_on_hourly_bitcoin_and_a_random_walk(name, source):
    # The same indicators and references on other data: 1,500 hourly bars of BTC and a random walk.
    make, columns, reference, first, tolerance = CASES[name]
    data = with_derived(btc_bars() if source == "btc" else random_walk())
    got = np.asarray(vexal.FeaturePipeline([make()], input_columns=columns).run_research(
        np.column_stack([data[c] for c in columns])))
    for k, expected in enumerate(reference(data)):
        if expected is None:
            continue
        a, e = got[first:, k], np.asarray(expected, dtype=float)[first:]
        assert (np.isnan(a) == np.isnan(e)).all(), (k, np.flatnonzero(np.isnan(a) != np.isnan(e))[:5])
        # Near a zero crossing of an oscillator, the error is measured against the indicator's scale.
        tol = max(tolerance, 1e-12)
        np.testing.assert_allclose(a, e, rtol=tol, atol=tol * np.nanmax(np.abs(e)), err_msg=f"output {k}")


@pytest.mark.parametrize("d, threshold", [(0.4, 1e-4), (1.3, 1e-3), (2.0, 1e-5)])
def test_frac_diff_weights_are_the_recurrence_exactly(d, threshold):
    # A unit impulse passes each weight through unchanged: the outputs after it are w0, w1, ... in turn.
    weights = [1.0]
    while abs(w := -weights[-1] * (d - len(weights) + 1) / len(weights)) >= threshold:
        weights.append(w)
    fd = vexal.FracDiff(["x"], d, ["fd"], threshold=threshold)
    assert fd.warm_up_period() == len(weights) - 1
    impulse = np.zeros(2 * len(weights))
    impulse[len(weights) - 1] = 1.0
    out = np.asarray(vexal.FeaturePipeline([fd], ["x"]).run_research(impulse[:, None]))[:, 0]
    assert bits([out[len(weights) - 1:2 * len(weights) - 1]]) == bits([np.array(weights)])
