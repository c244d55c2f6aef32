"""The Python face of every streaming-transform class, as the tests expect it.

Each entry: class name -> (text signature, class docstring, sample
constructor arguments, update docstring text, reset docstring text).
Tests of the binding frame run over every entry whose class exists.
"""

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
BAR_WIDTH = {"LinearSlope": 2, "ParkinsonVolatility": 2, "RogersSatchellVolatility": 4, "Subtract": 2}
