"""The Python face of every streaming-transform class, as the tests expect it.

Each entry: class name -> (text signature, class docstring, sample
constructor arguments, update docstring text, reset docstring text).
Tests of the binding frame run over every entry whose class exists.
"""

UPDATE_WARM_UP = "Process one bar. Returns ``[NaN]`` during warm-up or on ``NaN`` input."
RESET_STATE = "Reset internal state (e.g. between CPCV splits)."

TRANSFORM_FACES = {
    "Sma": ("(inputs, window, outputs)", "Simple Moving Average over a rolling window.",
            (["close"], 3, ["sma"]), UPDATE_WARM_UP, RESET_STATE),
    "Ema": ("(inputs, window, outputs)", "Exponential Moving Average with SMA seeding.",
            (["close"], 3, ["ema"]), UPDATE_WARM_UP, RESET_STATE),
}
