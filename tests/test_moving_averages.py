"""Sma and Ema from Python: quoted values, missing-value rules, and a
cross-check against pandas on real daily closes."""

import math

import numpy as np
import pandas as pd
import pytest

from vexal import Ema, Sma

nan = float("nan")


def feed(obj, xs):
    return [obj.update([x])[0] for x in xs]


def same(a, b):
    return len(a) == len(b) and all((math.isnan(x) and math.isnan(y)) or x == y for x, y in zip(a, b))


@pytest.mark.parametrize(
    "cls, window, xs, expected",
    [
        (Sma, 3, [1, 2, 3, 4], [nan, nan, 2.0, 3.0]),
        (Ema, 3, [1, 2, 3, 4, 5], [nan, nan, 2.0, 3.0, 4.0]),
        (Sma, 1, [3, -1, 2.5], [3.0, -1.0, 2.5]),
        (Ema, 1, [3, -1, 2.5], [3.0, -1.0, 2.5]),
        (Sma, 3, [1, 2, 3, nan, 5, 6, 7, 8], [nan, nan, 2.0, nan, nan, nan, 6.0, 7.0]),
        (Ema, 3, [1, 2, 3, 4, nan, 6, 7, 8, 9], [nan, nan, 2.0, 3.0, nan, nan, nan, 7.0, 8.0]),
        (Ema, 3, [1, nan, 3, 4, 5, 6], [nan, nan, nan, nan, 4.0, 5.0]),
        (Sma, 2, [math.inf, 1, 2], [nan, math.inf, 1.5]),
    ],
)
def test_quoted_sequences(cls, window, xs, expected):
    assert same(feed(cls(["c"], window, ["o"]), xs), expected)


@pytest.mark.parametrize("cls", [Sma, Ema])
def test_reset_starts_the_warm_up_again(cls):
    obj = cls(["c"], 3, ["o"])
    feed(obj, [10, 20, 30, 40])
    assert obj.reset() is None
    assert same(feed(obj, [1, 2, 3]), [nan, nan, 2.0])


@pytest.mark.parametrize("cls", [Sma, Ema])
def test_only_the_first_value_is_read_and_all_names_reported(cls):
    obj = cls(["a", "b"], 1, ["x", "y"])
    assert obj.update([2.0, 99.0]) == [2.0]
    assert obj.input_names() == ["a", "b"] and obj.output_names() == ["x", "y"]


@pytest.mark.parametrize("cls", [Sma, Ema])
@pytest.mark.parametrize("window", [1, 2, 10])
def test_warm_up_and_repr(cls, window):
    obj = cls(["close"], window, ["out"])
    assert obj.warm_up_period() == window - 1
    assert repr(obj) == f'{cls.__name__}(inputs=["close"], window={window}, outputs=["out"])'


def test_repr_escapes_names():
    assert repr(Ema(['a"b', "c\\d", "e\u0301"], 10, ["\n"])) == (
        'Ema(inputs=["a\\"b", "c\\\\d", "e\\u{301}"], window=10, outputs=["\\n"])'
    )


@pytest.mark.parametrize("window", [5, 20, 200])
def test_sma_matches_pandas_rolling_mean_on_real_closes(spy, window):
    closes = np.array(spy["close"])
    closes[[100, 2000, 2001]] = np.nan
    ours = np.array(feed(Sma(["close"], window, ["s"]), closes.tolist()))
    ref = pd.Series(closes).rolling(window).mean().to_numpy()
    assert np.array_equal(np.isnan(ours), np.isnan(ref))
    np.testing.assert_allclose(ours, ref, rtol=1e-12, equal_nan=True)


def reference_ema(xs, window):
    """Seed with the mean of the first complete window, recurse, restart at a gap."""
    alpha = 2.0 / (window + 1.0)
    out, seed, current = [], [], None
    for x in xs:
        if current is not None:
            if math.isnan(x):
                current, seed = None, []
                out.append(nan)
            else:
                current = (1.0 - alpha) * current + alpha * x
                out.append(current)
            continue
        seed = (seed + [x])[-window:]
        if len(seed) == window and not any(math.isnan(v) for v in seed):
            total = 0.0
            for v in seed:
                total += v
            current, seed = total / window, []
            out.append(current)
        else:
            out.append(nan)
    return out


@pytest.mark.parametrize("window", [3, 20, 50])
def test_ema_matches_an_independent_recursion_on_real_closes(spy, window):
    closes = list(spy["close"])
    closes[300] = nan
    closes[1500] = nan
    assert same(feed(Ema(["close"], window, ["e"]), closes), reference_ema(closes, window))


def test_ema_after_seeding_matches_pandas_ewm(spy):
    window = 20
    closes = spy["close"][:3000]
    ours = feed(Ema(["close"], window, ["e"]), closes)
    seeded = [sum(closes[:window]) / window] + closes[window:]
    ref = pd.Series(seeded).ewm(alpha=2 / (window + 1), adjust=False).mean().to_numpy()
    np.testing.assert_allclose(ours[window - 1:], ref, rtol=1e-12)
