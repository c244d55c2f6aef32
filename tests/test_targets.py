"""The target classes: their Python face, and their labels computed through
TargetPipeline.run_research against pandas and numpy on real daily bars."""

import math
import pickle
import re

import numpy as np
import pandas as pd
import _vexal
import pytest
import vexal
from vexal import (
    FutureCTCVolatility,
    FutureDrawdown,
    FutureLinearSlope,
    FutureMax,
    FutureMin,
    FutureReturn,
    MetaLabel,
    TargetPipeline,
    TripleBarrier,
)

nan = float("nan")

BARRIER_DOC = ("Triple-barrier label of each bar. inputs: [close, scale]; outputs: [label, ret, bars]. From a bar "
               "with a positive close c0 and a positive scale s (a volatility, say), walks the next ``horizon`` "
               "closes: the first >= c0 * (1 + upper * s) labels 1, the first <= c0 * (1 - lower * s) labels -1, "
               "and none labels 0 at the last of them. ret = close there / c0 - 1, bars = the bars walked. A "
               "missing close on the way, or the end of the data before either, leaves all three NaN. "
               "``upper=None`` or ``lower=None`` removes that barrier.")
META_DOC = ("Whether a primary model's side was right. inputs: [label, side]. 1 where the sign of the side is "
            "that of a non-zero label, 0 where it is not or the label is 0, NaN where either is NaN or the side "
            "is 0. Reads its own bar only: its forward period is 0.")
FORWARD_DOC = "Number of bars at the end that will be ``NaN``."
# The classes added since the faces above were recorded say their docstring in their description.
DESCRIBED = {d["name"]: d["summary"] for d in _vexal._describe()}
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
    TripleBarrier: ("(inputs, horizon, outputs, upper=1.0, lower=1.0)",
                    BARRIER_DOC,
                    (["close", "vol"], 10, ["l", "r", "b"]), "Output column names (label, ret, bars).",
                    'TripleBarrier(inputs=["close", "vol"], horizon=10, outputs=["l", "r", "b"], upper=1.0, lower=1.0)'),
    MetaLabel: ("(inputs, outputs)", META_DOC, (["label", "side"], ["meta"]), "Output column names.",
                'MetaLabel(inputs=["label", "side"], outputs=["meta"])'),
    **{cls: ("(inputs, horizon, outputs)", DESCRIBED[cls.__name__], (names, 4, ["o"]), "Output column names.",
             f'{cls.__name__}(inputs={str(names).replace(chr(39), chr(34))}, horizon=4, outputs=["o"])')
       for cls, names in [(FutureMax, ["high", "close"]), (FutureMin, ["low", "close"]), (FutureDrawdown, ["close"])]},
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
        (lambda: TripleBarrier(["c"], 0, []), "inputs must contain exactly 2 names: [close, scale]"),
        (lambda: TripleBarrier(["c", ""], 0, []), "input names must not be empty"),
        (lambda: TripleBarrier(["c", "s"], 0, []), "horizon must be > 0"),
        (lambda: TripleBarrier(["c", "s"], 1, ["l", "r"]), "outputs must contain exactly 3 names: [label, ret, bars]"),
        (lambda: TripleBarrier(["c", "s"], 1, ["l", "r", "b"], upper=0), "upper must be > 0, or None for no upper barrier"),
        (lambda: TripleBarrier(["c", "s"], 1, ["l", "r", "b"], 1, -1.0), "lower must be > 0, or None for no lower barrier"),
        (lambda: TripleBarrier(["c", "s"], 1, ["l", "r", "b"], lower=nan), "lower must be > 0, or None for no lower barrier"),
        (lambda: MetaLabel(["l"], ["m"]), "inputs must contain exactly 2 names: [label, side]"),
        (lambda: MetaLabel(["l", "s"], ["m", "n"]), "outputs must contain exactly 1 name: [meta]"),
        (lambda: FutureMax(["h"], 0, []), "inputs must contain exactly 2 names: [high, close]"),
        (lambda: FutureMin(["l", "c"], 0, []), "horizon must be > 0"),
        (lambda: FutureMin(["l", "c"], 1, []), "outputs must not be empty"),
        (lambda: FutureDrawdown(["c", "h"], 1, ["d"]), "inputs must contain exactly 1 name: [close]"),
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


def ahead(x, horizon):
    """Row t holds bars t + 1 .. t + horizon of x."""
    return pd.concat([x.shift(-k) for k in range(1, horizon + 1)], axis=1)


def drawdown_reference(close, horizon):
    """The definition: min over t <= i <= j <= t + horizon of close_j / max(close_t .. close_i) - 1."""
    out = np.full(len(close), nan)
    for t in range(len(close) - horizon):
        path = close[t:t + horizon + 1]
        if path[0] > 0 and not np.isnan(path).any():
            falls = path[None, :] / np.maximum.accumulate(path)[:, None] - 1.0
            out[t] = falls[np.triu_indices(horizon + 1)].min()
    return out


EXCURSIONS = {
    "max": (lambda h: FutureMax(["high", "close"], h, ["o"]),
            lambda f, h: ahead(f["high"], h).max(axis=1, skipna=False) / f["close"].where(f["close"] > 0) - 1),
    "min": (lambda h: FutureMin(["low", "close"], h, ["o"]),
            lambda f, h: ahead(f["low"], h).min(axis=1, skipna=False) / f["close"].where(f["close"] > 0) - 1),
    "drawdown": (lambda h: FutureDrawdown(["close"], h, ["o"]),
                 lambda f, h: drawdown_reference(f["close"].to_numpy(), h)),
}


@pytest.fixture(scope="module")
def excursion_data(frame):
    spy = frame[["high", "low", "close"]].copy()
    spy.loc[[700, 2500], "high"] = nan
    spy.loc[[900, 2600], "low"] = nan
    # A walk that crosses zero: a negative close is no start, but the path may reach one.
    rng = np.random.default_rng(8)
    close = 2 + 3 * np.sin(np.arange(3000) / 80) + rng.normal(0, 0.3, 3000)
    walk = pd.DataFrame({"high": close + rng.uniform(0, 1, 3000), "low": close - rng.uniform(0, 1, 3000),
                         "close": close})
    walk[rng.random((3000, 3)) < 0.005] = nan
    return {"spy": spy, "walk": walk}


@pytest.mark.parametrize("data", ["spy", "walk"])
@pytest.mark.parametrize("kind", EXCURSIONS)
@pytest.mark.parametrize("horizon", [1, 5, 21, 2**64 - 1])
def test_future_excursions_equal_pandas_and_the_definition_on_both_paths(excursion_data, data, kind, horizon):
    f = excursion_data[data]
    make, reference = EXCURSIONS[kind]
    target = make(horizon)
    expected = np.full(len(f), nan) if horizon > len(f) else np.asarray(reference(f, horizon), dtype=float)
    pipeline = TargetPipeline([target], target.input_names())
    columns = [f[n].to_numpy() for n in target.input_names()]
    # Same operations in the same order, and max, min exact: equal to the last bit.
    assert same(pipeline.run_research([c.tolist() for c in columns])[0], expected.tolist())
    assert same(vexal.label(pipeline, np.column_stack(columns))[:, 0].tolist(), expected.tolist())
    assert target.forward_period() == horizon and np.isnan(expected[-min(horizon, len(f)):]).all()
    assert horizon > len(f) or (~np.isnan(expected)).sum() > len(f) / 2
    if kind == "drawdown":
        assert (expected[~np.isnan(expected)] <= 0).all()


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


# -- barrier labels and meta-labels against the definition ---------------------------------

def barrier_reference(close, scale, horizon, upper, lower):
    """The definition, bar by bar: label, ret, bars."""
    n = len(close)
    out = [[nan] * n for _ in range(3)]
    for t in range(n):
        c0, s = close[t], scale[t]
        if not (c0 > 0 and s > 0):
            continue
        for k in range(1, min(horizon, n - 1 - t) + 1):
            x = close[t + k]
            if math.isnan(x):
                break
            if upper is not None and x >= c0 * (1.0 + upper * s):
                hit = 1.0
            elif lower is not None and x <= c0 * (1.0 - lower * s):
                hit = -1.0
            elif k == horizon:
                hit = 0.0
            else:
                continue
            out[0][t], out[1][t], out[2][t] = hit, x / c0 - 1.0, float(k)
            break
    return out


@pytest.fixture(scope="module")
def barrier_data(frame):
    real = frame["close"].to_numpy()
    real_scale = pd.Series(np.log(real)).diff().rolling(20).std().to_numpy()
    rng = np.random.default_rng(21)
    walk = 100 * np.exp(np.cumsum(rng.normal(0, 0.01, 9000)))
    walk[rng.random(9000) < 0.03] = nan
    scale = rng.uniform(-0.005, 0.03, 9000)
    scale[rng.random(9000) < 0.03] = nan
    return {"spy": (real, real_scale), "random": (walk, scale)}


BARRIERS = [(1.0, 1.0), (2.0, None), (None, 0.5)]


@pytest.mark.parametrize("data", ["spy", "random"])
@pytest.mark.parametrize("horizon, upper, lower", [(h, u, lo) for h in (1, 7, 60, 2**62, 2**64 - 1) for u, lo in BARRIERS]
                         + [(1, None, None), (25, None, None)])
def test_triple_barrier_equals_the_definition_on_both_paths(barrier_data, data, horizon, upper, lower):
    close, scale = barrier_data[data]
    target = TripleBarrier(["close", "scale"], horizon, ["l", "r", "b"], upper, lower)
    pipeline = TargetPipeline([target], ["close", "scale"])
    expected = barrier_reference(close.tolist(), scale.tolist(), horizon, upper, lower)
    listed = pipeline.run_research([close.tolist(), scale.tolist()])
    # The array path labels slices of 4096 rows, reaching the horizon past each.
    arrays = vexal.label(pipeline, np.column_stack([close, scale]))
    for k in range(3):
        assert same(listed[k], expected[k]) and same(arrays[:, k].tolist(), expected[k])
    labels = np.array(expected[0])
    assert (labels == 1).any() or upper is None
    assert np.isnan(labels).any() and (np.isnan(labels[-1]) or horizon == 1)


def test_meta_label_equals_the_definition_on_both_paths():
    rng = np.random.default_rng(5)
    label = rng.choice([-1.0, 0.0, 1.0, nan, 0.5], 6000)
    side = rng.choice([-2.0, -0.5, 0.0, 1.0, 3.0, nan], 6000)
    expected = [nan if math.isnan(a) or math.isnan(b) or b == 0 else 0.0 if a == 0 else float((a > 0) == (b > 0))
                for a, b in zip(label, side)]
    pipeline = TargetPipeline([MetaLabel(["label", "side"], ["meta"])], ["side", "label"])
    assert pipeline.forward_period() == 0
    assert same(pipeline.run_research([side.tolist(), label.tolist()])[0], expected)
    assert same(vexal.label(pipeline, np.column_stack([side, label]))[:, 0].tolist(), expected)


@pytest.mark.parametrize("target", [TripleBarrier(["c", "s"], 3, ["l", "r", "b"], upper=2.5, lower=None),
                                    TripleBarrier(["c", "s"], 2**64 - 1, ["l", "r", "b"], None, 0.25),
                                    MetaLabel(["c", "s"], ["m"]), FutureMax(["c", "s"], 2, ["m"]),
                                    FutureMin(["c", "s"], 2**64 - 1, ["m"]), FutureDrawdown(["c"], 3, ["d"])],
                         ids=repr)
def test_label_targets_round_trip_through_snapshots(target):
    copies = [vexal.load(target.snapshot()), type(target).from_snapshot(target.snapshot()),
              pickle.loads(pickle.dumps(target))]
    assert all(repr(c) == repr(target) and type(c) is type(target) for c in copies)
    pipeline = TargetPipeline([target], ["c", "s"])
    restored = vexal.load(pipeline.snapshot())
    data = [[1.0, 1.2, 0.9, -1.0, 1.1, nan, 1.3], [0.1, 0.05, 1.0, 0.0, 0.2, 0.1, 0.1]]
    assert all(same(a, b) for a, b in zip(restored.run_research(data), pipeline.run_research(data)))
