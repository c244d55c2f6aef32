"""The target classes: their Python face, and their labels computed through
TargetPipeline.run_research against pandas and numpy on real daily bars."""

import math
import re

import numpy as np
import pandas as pd
import pytest

from vexal import FutureCTCVolatility, FutureLinearSlope, FutureReturn, TargetPipeline

nan = float("nan")

FORWARD_DOC = "Number of bars at the end that will be ``NaN``."
FACES = {
    FutureReturn: ("(inputs, horizon, outputs)", "Future simple return over ``horizon`` bars.",
                   (["close"], 5, ["fr"]), "Output column names.",
                   'FutureReturn(inputs=["close"], horizon=5, outputs=["fr"])'),
    FutureCTCVolatility: ("(input, horizon)", "Future close-to-close realized volatility.",
                          ("close", 20), "Output column names.", 'FutureCTCVolatility(input="close", horizon=20)'),
    FutureLinearSlope: ("(inputs, horizon, outputs)",
                        "Future OLS slope and R\u00b2 of y on x over the next ``horizon`` bars.",
                        (["x", "y"], 3, ["slope", "r2"]), "Output column names (slope, r2).",
                        'FutureLinearSlope(inputs=["x", "y"], horizon=3, outputs=["slope", "r2"])'),
}


def same(a, b):
    return len(a) == len(b) and all((math.isnan(x) and math.isnan(y)) or x == y for x, y in zip(a, b))


def label(target, columns, names):
    """Runs one target through a pipeline over the named columns."""
    return TargetPipeline([target], names).run_research(columns)


# -- Python face --------------------------------------------------------------------

@pytest.mark.parametrize("cls", FACES, ids=lambda c: c.__name__)
def test_target_face(cls):
    signature, doc, args, output_doc, expected_repr = FACES[cls]
    assert (cls.__module__, cls.__name__, cls.__qualname__) == ("vexal", cls.__name__, cls.__name__)
    assert cls.__doc__ == doc and cls.__text_signature__ == signature
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert [m for m in vars(cls) if not m.startswith("_")] == [
        "input_names", "output_names", "forward_period", "snapshot", "from_snapshot"]
    docs = {"input_names": "Input column names.", "output_names": output_doc, "forward_period": FORWARD_DOC}
    for name, text in docs.items():
        assert getattr(cls, name).__doc__ == text and getattr(cls, name).__text_signature__ == "($self)"
    obj = cls(*args)
    assert repr(obj) == expected_repr
    for absent in ("update", "peek", "reset", "warm_up_period", "run_research", "__dict__"):
        assert not hasattr(obj, absent), absent
    with pytest.raises(TypeError):
        len(obj)
    keywords = dict(zip(re.findall(r"\w+", signature), args))
    assert repr(cls(**keywords)) == expected_repr


def test_target_configuration_is_reported():
    vol = FutureCTCVolatility("close", 20)
    assert vol.input_names() == ["close"] and vol.output_names() == ["close_future_ctc_vol_20"]
    assert vol.forward_period() == 20
    fr = FutureReturn(["a", "b"], 3, ["x", "y"])
    assert (fr.input_names(), fr.output_names(), fr.forward_period()) == (["a", "b"], ["x", "y"], 3)
    assert repr(FutureCTCVolatility('we"ird', 2)) == r'FutureCTCVolatility(input="we\"ird", horizon=2)'


@pytest.mark.parametrize(
    "make, message",
    [
        (lambda: FutureReturn([], 0, []), "inputs must not be empty"),
        (lambda: FutureReturn(["c"], 0, []), "horizon must be > 0"),
        (lambda: FutureReturn(["c"], 1, []), "outputs must not be empty"),
        (lambda: FutureCTCVolatility("", 1), "input must not be empty"),
        (lambda: FutureCTCVolatility("c", 1), "horizon must be >= 2 (std_dev requires at least 2 log returns)"),
        (lambda: FutureLinearSlope(["x"], 0, []), "inputs must contain x and y columns"),
        (lambda: FutureLinearSlope(["x", ""], 0, []), "input names must not be empty"),
        (lambda: FutureLinearSlope(["x", "y"], 1, ["s", "r"]), "horizon must be >= 2"),
        (lambda: FutureLinearSlope(["x", "y"], 2, ["s"]), "outputs must contain exactly 2 names: [slope, r2]"),
    ],
)
def test_construction_errors(make, message):
    with pytest.raises(ValueError) as info:
        make()
    assert str(info.value) == "Invalid input: " + message


# -- references on real data ------------------------------------------------------------

@pytest.fixture(scope="module")
def frame(spy):
    df = pd.DataFrame(spy)
    # A few gaps, as real feeds have them.
    df.loc[[100, 101, 2000, 3500], "close"] = np.nan
    return df


def assert_matches(got, expected, rtol, atol=0.0):
    got, expected = np.asarray(got, dtype=float), np.asarray(expected, dtype=float)
    assert got.shape == expected.shape
    assert np.array_equal(np.isnan(got), np.isnan(expected))
    np.testing.assert_allclose(got[~np.isnan(got)], expected[~np.isnan(expected)], rtol=rtol, atol=atol)


@pytest.mark.parametrize("horizon", [1, 5, 21])
def test_future_return_against_pandas(frame, horizon):
    close = frame["close"]
    [got] = label(FutureReturn(["close"], horizon, ["fr"]), [close.tolist()], ["close"])
    expected = (close.shift(-horizon) - close) / close
    # The same two operations in the same order: equal to the last bit.
    assert same(got, expected.tolist())
    assert sum(1 for v in got if not math.isnan(v)) > 4000


@pytest.mark.parametrize("horizon", [2, 5, 20])
def test_future_ctc_volatility_against_pandas(frame, horizon):
    close = frame["close"]
    [got] = label(FutureCTCVolatility("close", horizon), [close.tolist()], ["close"])
    log_returns = np.log(close / close.shift(1))
    expected = log_returns.rolling(horizon).std(ddof=1).shift(-horizon)
    assert_matches(got, expected, rtol=1e-9)
    assert all(math.isnan(v) for v in got[-horizon:])


def lstsq_reference(x, y, horizon):
    n = len(x)
    slope, r2 = np.full(n, np.nan), np.full(n, np.nan)
    for t in range(n - horizon + 1):
        xs, ys = x[t:t + horizon], y[t:t + horizon]
        if np.isnan(xs).any() or np.isnan(ys).any() or np.ptp(xs) == 0:
            continue
        design = np.column_stack([xs, np.ones(horizon)])
        (b, a), *_ = np.linalg.lstsq(design, ys, rcond=None)
        slope[t] = b
        residual = ys - (a + b * xs)
        total = ((ys - ys.mean()) ** 2).sum()
        if total != 0:
            r2[t] = 1.0 - (residual ** 2).sum() / total
    return slope, r2


@pytest.mark.parametrize("horizon", [3, 10, 30])
def test_future_linear_slope_against_numpy_least_squares(frame, horizon):
    x, y = np.log(frame["open"].to_numpy()), np.log(frame["close"].to_numpy())
    slope, r2 = label(FutureLinearSlope(["open", "close"], horizon, ["s", "r2"]), [x.tolist(), y.tolist()],
                      ["open", "close"])
    ref_slope, ref_r2 = lstsq_reference(x, y, horizon)
    assert_matches(slope, ref_slope, rtol=1e-7, atol=1e-12)
    assert_matches(r2, ref_r2, rtol=1e-7, atol=1e-12)
    assert all(math.isnan(v) for v in slope[len(slope) - horizon + 1:])
    assert all(0.0 <= v <= 1.0 + 1e-12 for v in r2 if not math.isnan(v))


def test_several_targets_in_one_pipeline_match_running_them_alone(frame):
    close, high = frame["close"].tolist(), frame["high"].tolist()
    targets = [FutureReturn(["close"], 5, ["fr5"]), FutureCTCVolatility("close", 10),
               FutureLinearSlope(["high", "close"], 5, ["s", "r2"]), FutureReturn(["high"], 1, ["fh1"])]
    t = TargetPipeline(targets, ["high", "close", "unused"])
    assert t.output_names() == ["fr5", "close_future_ctc_vol_10", "s", "r2", "fh1"]
    assert t.forward_period() == 10 and len(t) == 4
    data = [high, close, [0.0] * len(close)]
    together = t.run_research(data)
    alone = [col for target in targets
             for col in label(target, [data[["high", "close"].index(n)] for n in target.input_names()],
                              target.input_names())]
    assert len(together) == len(alone) == 5
    assert all(same(a, b) for a, b in zip(together, alone))
    assert all(same(a, b) for a, b in zip(t.run_research(data), together))  # repeatable
