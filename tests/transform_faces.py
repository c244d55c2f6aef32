"""The Python face of every streaming-transform class, as the tests expect it.

Each entry: class name -> (text signature, class docstring, sample
constructor arguments, update docstring text, reset docstring text).
The classes written out below are a record of faces that must not change;
every transform registered after them joins from its description (its
example's arguments as the sample), so the suites that iterate these
entries cover each registered transform without a list of their own.
"""

import ast

import _vexal

UPDATE_WARM_UP = "Process one bar. Returns ``[NaN]`` during warm-up or on ``NaN`` input."
RESET_STATE = "Reset internal state (e.g. between CPCV splits)."
UPDATE_INVALID = "Process one bar. Returns ``[NaN]`` during warm-up or on invalid input."
RESET_OPERATOR = "Reset (no-op for stateless operators)."
RESET_SCALER = "Reset (no-op for stateless scalers)."

TRANSFORM_FACES = {
    "Sma": ("(inputs, window, outputs)", "Simple Moving Average over a rolling window.",
            (["close"], 3, ["sma"]), UPDATE_WARM_UP, RESET_STATE),
    "Ema": ("(inputs, window, outputs)", "Exponential Moving Average with SMA seeding.",
            (["close"], 3, ["ema"]), UPDATE_WARM_UP, RESET_STATE),
    "Kama": ("(inputs, window, outputs, fast=2, slow=30)", "Kaufman's Adaptive Moving Average.",
             (["close"], 3, ["kama"]), UPDATE_WARM_UP, RESET_STATE),
    "SimpleReturn": ("(inputs, window, outputs)", "Simple (arithmetic) return over a configurable lookback window.",
                     (["close"], 2, ["ret"]), UPDATE_WARM_UP, RESET_STATE),
    "LogReturn": ("(inputs, window, outputs)", "Log return over a configurable lookback window.",
                  (["close"], 2, ["ret"]), UPDATE_WARM_UP, RESET_STATE),
    "Skewness": ("(inputs, window, outputs)", "Rolling sample skewness (Fisher-Pearson corrected).",
                 (["close"], 4, ["skew"]), UPDATE_WARM_UP, RESET_STATE),
    "Kurtosis": ("(inputs, window, outputs)", "Rolling excess kurtosis (Fisher).",
                 (["close"], 5, ["kurt"]), UPDATE_WARM_UP, RESET_STATE),
    "LinearSlope": ("(inputs, window, outputs)", "Rolling OLS regression: slope and R\u00b2 of y on x over a sliding window.",
                    (["x", "y"], 3, ["slope", "r2"]), "Process one bar. Returns ``[slope, r2]``, ``NaN`` during warm-up.",
                    RESET_STATE),
    "ParkinsonVolatility": ("(inputs, window, outputs)", "Rolling Parkinson volatility estimator (high/low).",
                            (["high", "low"], 2, ["pv"]), UPDATE_INVALID, RESET_STATE),
    "RogersSatchellVolatility": ("(inputs, window, outputs)", "Rolling Rogers-Satchell volatility estimator (OHLC).",
                                 (["high", "low", "open", "close"], 2, ["rs"]), UPDATE_INVALID, RESET_STATE),
    "Subtract": ("(inputs, outputs)", "Element-wise subtraction: A - B.", (["a", "b"], ["d"]),
                 "Process one bar. Returns ``[NaN]`` if either input is ``NaN``.", RESET_OPERATOR),
    "NegLog": ("(inputs, outputs)", "Negative natural logarithm: -ln(x).", (["x"], ["n"]),
               "Process one bar. Returns ``[NaN]`` if input is ``NaN`` or <= 0.", RESET_OPERATOR),
    "RollingZScore": ("(inputs, window, outputs)", "Rolling z-score normalization over a sliding window.",
                      (["x"], 3, ["z"]), UPDATE_WARM_UP, RESET_STATE),
    "FixedZScore": ("(inputs, outputs, mean, std)", "Z-score normalization with pre-fitted mean and std.",
                    (["x"], ["z"], 1.0, 2.0), "Process one bar. Returns ``[NaN]`` if input is ``NaN``.", RESET_SCALER),
}

# How many values one bar of each class needs (the rest take one).

# The indicators registered after the published names.
TRANSFORM_FACES.update({
    "Rsi": ('(inputs, window, outputs)', "Wilder's relative strength index of inputs[0] (the close): 100 * G / (G + L), where G and L are Wilder averages over ``window`` bars, avg = (avg * (window - 1) + x) / window, of the gains max(d, 0) and losses max(-d, 0) of the bar-to-bar change d, each seeded with the simple average of its first ``window`` changes. NaN while a window saw no move. Seeding: the first value is at bar ``window`` (after ``window`` + 1 closes), from the simple averages of the first ``window`` gains and losses; TA-Lib's RSI seeds the same way and agrees from its first value (within 1e-13: it multiplies by 1/window where this divides by window).",
            (["close"], 3, ["rsi"]), UPDATE_WARM_UP, RESET_STATE),
    "TrueRange": ('(inputs, outputs)', "Wilder's true range. inputs: [high, low, close]. max(high - low, |high - previous close|, |low - previous close|); NaN on the first bar and for a bar whose high is below its low.",
            (["high", "low", "close"], ["tr"]), UPDATE_INVALID, RESET_STATE),
    "Atr": ('(inputs, window, outputs)', "Wilder's average true range. inputs: [high, low, close]. The Wilder average over ``window`` bars of TrueRange, avg = (avg * (window - 1) + tr) / window, seeded with the simple average of the first ``window`` true ranges. The first true range is at bar 1, so the first value is at bar ``window``; TA-Lib's ATR seeds the same way and agrees from its first value (within 1e-13).",
            (["high", "low", "close"], 3, ["atr"]), UPDATE_INVALID, RESET_STATE),
    "Adx": ('(inputs, window, outputs)', "Wilder's average directional index. inputs: [high, low, close]; outputs: [adx, plus_di, minus_di]. With up = high - previous high and down = previous low - low, +DM = up if up > down and up > 0 (else 0), -DM likewise; +DI = 100 * avg(+DM) / avg(TR), -DI = 100 * avg(-DM) / avg(TR), DX = 100 * |+DI - -DI| / (+DI + -DI), ADX = avg(DX), every avg a Wilder average over ``window`` bars. Seeding: each average starts as the simple average of its first ``window`` values, so +DI and -DI are first present at bar ``window`` and ADX (the average of the first ``window`` DX values) at bar 2 * ``window`` - 1. TA-Lib sums the directional movements over ``window`` - 1 bars instead: its first ADX differs by 1.44 points (window 14, daily SPY) and the two agree within 1e-9 (relative) from about bar 300, +DI and -DI from about bar 250, as the seeds decay.",
            (["high", "low", "close"], 2, ["adx", "pdi", "mdi"]), 'Process one bar. Returns ``[adx, plus_di, minus_di]``, ``NaN`` during warm-up or on invalid input.', RESET_STATE),
    "BollingerBands": ('(inputs, window, outputs, k=2.0)', 'Bollinger bands of inputs[0] over ``window`` bars. outputs: [middle, upper, lower, percent_b, bandwidth]. middle = mean, upper/lower = middle +/- k * population standard deviation, percent_b = (x - lower) / (upper - lower), bandwidth = (upper - lower) / middle; a flat window has no percent_b, a zero middle no bandwidth.',
            (["close"], 3, ["m", "u", "l", "pb", "bw"]), 'Process one bar. Returns ``[middle, upper, lower, percent_b, bandwidth]``, ``NaN`` during warm-up.', RESET_STATE),
    "Macd": ('(inputs, outputs, fast=12, slow=26, signal=9)', 'Moving average convergence/divergence of inputs[0]. outputs: [macd, signal, histogram]. macd = Ema(fast) - Ema(slow), signal = Ema(signal) of macd, histogram = macd - signal; every Ema seeded with the simple average of its first window, as ``Ema`` is. Seeding: the fast Ema is present from bar ``fast`` - 1, the slow from bar ``slow`` - 1, so macd from bar ``slow`` - 1 and signal from bar ``slow`` + ``signal`` - 2. TA-Lib seeds the fast EMA at the first bar of the slow one instead, and reports macd only from the first bar of the signal: the macd and signal lines agree within 1e-9 (relative) once the seeds have decayed (from about bar 155 for 12/26/9 on daily SPY).',
            (["close"], ["m", "s", "h"]), 'Process one bar. Returns ``[macd, signal, histogram]``, ``NaN`` during warm-up.', RESET_STATE),
    "Stochastic": ('(inputs, window, outputs, smooth_k=3, smooth_d=3)', 'The slow stochastic oscillator. inputs: [high, low, close]; outputs: [k, d]. raw %K = 100 * (close - LL) / (HH - LL) over the highest high HH and lowest low LL of ``window`` bars; k = mean of raw %K over ``smooth_k`` bars, d = mean of k over ``smooth_d`` bars.',
            (["high", "low", "close"], 3, ["k", "d"]), 'Process one bar. Returns ``[k, d]``, ``NaN`` during warm-up or on invalid input.', RESET_STATE),
    "WilliamsR": ('(inputs, window, outputs)', 'Williams %R. inputs: [high, low, close]. 100 * (close - HH) / (HH - LL) over the highest high HH and lowest low LL of ``window`` bars, in [-100, 0].',
            (["high", "low", "close"], 3, ["wr"]), UPDATE_INVALID, RESET_STATE),
    "Cci": ('(inputs, window, outputs)', 'Commodity channel index. inputs: [high, low, close]. (tp - m) / (0.015 * d), with tp = (high + low + close) / 3, m the mean of tp over ``window`` bars and d the mean absolute deviation of tp from m.',
            (["high", "low", "close"], 3, ["cci"]), UPDATE_INVALID, RESET_STATE),
    "Obv": ('(inputs, outputs)', 'On-balance volume. inputs: [close, volume]. A running total starting at the first volume: + volume when the close rises, - volume when it falls; a missing value or a negative volume starts it again.',
            (["close", "volume"], ["obv"]), UPDATE_INVALID, RESET_STATE),
    "Vwap": ('(inputs, window, outputs)', 'Rolling volume-weighted average price. inputs: [high, low, close, volume]. sum(tp * volume) / sum(volume) over ``window`` bars, tp = (high + low + close) / 3.',
            (["high", "low", "close", "volume"], 3, ["vwap"]), UPDATE_INVALID, RESET_STATE),
    "RollingMin": ('(inputs, window, outputs)', 'Smallest value of inputs[0] over ``window`` bars.',
            (["x"], 3, ["lo"]), UPDATE_WARM_UP, RESET_STATE),
    "RollingMax": ('(inputs, window, outputs)', 'Largest value of inputs[0] over ``window`` bars.',
            (["x"], 3, ["hi"]), UPDATE_WARM_UP, RESET_STATE),
    "RollingStd": ('(inputs, window, outputs)', 'Sample standard deviation (ddof=1) of inputs[0] over ``window`` bars: sqrt(sum((x - mean)^2) / (window - 1)).',
            (["x"], 3, ["sd"]), UPDATE_WARM_UP, RESET_STATE),
    "RollingCorrelation": ('(inputs, window, outputs)', 'Pearson correlation of inputs [x, y] over ``window`` bars: sxy / sqrt(sxx * syy) from the deviations from the means; NaN where a column is constant.',
            (["x", "y"], 3, ["r"]), UPDATE_WARM_UP, RESET_STATE),
    "RollingQuantile": ('(inputs, window, outputs, q=0.5)', "The q-quantile of inputs[0] over ``window`` bars, linearly interpolated between order statistics as numpy.quantile's default is.",
            (["x"], 3, ["q"]), UPDATE_WARM_UP, RESET_STATE),
    "GarmanKlassVolatility": ('(inputs, window, outputs)', 'Garman-Klass volatility. inputs: [open, high, low, close]. sqrt(mean(0.5 * ln(high / low)^2 - (2 ln 2 - 1) * ln(close / open)^2)) over ``window`` bars.',
            (["open", "high", "low", "close"], 3, ["gk"]), UPDATE_INVALID, RESET_STATE),
    "YangZhangVolatility": ('(inputs, window, outputs)', 'Yang-Zhang volatility. inputs: [open, high, low, close]. sqrt(so + k * sc + (1 - k) * rs) over ``window`` bars: so and sc the sample variances of ln(open / previous close) and ln(close / open), rs the mean Rogers-Satchell term, k = 0.34 / (1.34 + (n + 1) / (n - 1)).',
            (["open", "high", "low", "close"], 3, ["yz"]), UPDATE_INVALID, RESET_STATE),
    "Lag": ('(inputs, k, outputs)', 'inputs[0] as it was ``k`` bars earlier.',
            (["x"], 2, ["x_lag"]), UPDATE_WARM_UP, RESET_STATE),
    "Ratio": ('(inputs, outputs)', 'Element-wise ratio: A / B, ``NaN`` where B is 0.',
            (["a", "b"], ["q"]), 'Process one bar. Returns ``[NaN]`` if either input is ``NaN`` or B is 0.', RESET_OPERATOR),
})

DESCRIPTIONS = {d["name"]: d for d in _vexal._describe()}


def example_arguments(example):
    """The arguments of a constructor call written as Python source."""
    call = ast.parse(example, mode="eval").body
    return tuple(ast.literal_eval(a) for a in call.args)


for _name, _d in DESCRIPTIONS.items():
    if _d["kind"] == "transform" and _name not in TRANSFORM_FACES:
        _cls = getattr(_vexal, _name)
        TRANSFORM_FACES[_name] = (_d["signature"], _d["summary"], example_arguments(_d["example"]),
                                  _cls.update.__doc__, _cls.reset.__doc__)

# The columns each class reads, and those whose sample bars put the open first.
BAR_WIDTH = {n: len(d["reads"].split(", ")) for n, d in DESCRIPTIONS.items() if d["kind"] == "transform"}
OPEN_FIRST = {n for n, d in DESCRIPTIONS.items() if d["reads"].startswith("open")}

# Every class goes through the one binding frame; what differs from class to
# class is the shape of what crosses it: its options (counts, numbers,
# optional numbers, none), how many columns it reads and writes, and the kind
# of state it snapshots. The long loops (leak counts) run on one class of
# each shape; the C++ contract suite checks every registered class's
# streaming properties, and the cheaper suites here still iterate them all.
REPRESENTATIVE = [
    "Sma",  # the window: one column in, one out
    "Ema",  # a seeded recursion
    "Kama",  # counts with defaults
    "LinearSlope",  # two columns in, two out
    "Subtract",  # a stateless operator on two columns
    "NegLog",  # a stateless operator on one
    "FixedZScore",  # required numbers
    "RollingQuantile",  # a number with a default; order statistics
    "Lag",  # a count not named window
    "Adx",  # three in, three out, chained recursions
    "BollingerBands",  # five outputs
    "Macd",  # no window at all
    "Obv",  # a running total that restarts
    "YangZhangVolatility",  # four columns, the open first
    "FracDiff",  # a number and counts; weights as state
    "CusumFilter",  # a threshold instead of a window
    "Clip",  # optional numbers defaulting to None
    "EwmStd",  # alternative optional numbers, exactly one given
    "Ichimoku",  # counts with defaults, four outputs
    "Supertrend",  # the window as a defaulted keyword beside a number
]
assert set(REPRESENTATIVE) <= set(TRANSFORM_FACES), set(REPRESENTATIVE) - set(TRANSFORM_FACES)
