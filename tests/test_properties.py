"""Properties of every streaming transform and target over random
configurations and random data (gaps, infinities, huge and tiny
magnitudes, constant runs, negative prices):

- bar-by-bar results equal an independent numpy reference, to the bit;
- live updates, a pipeline's live updates and its research run agree;
- a pipeline's fresh copy and ``reset`` behave exactly like a new object;
- a NaN at bar k changes exactly the bars the missing-value rule names;
- an object restored after bar k (snapshot, load, pickle, copies) goes on
  to the same bits and the same snapshots; a peek changes nothing;
- targets equal pandas and numpy references, and repeated calls agree.

The example count comes from the hypothesis profile (see conftest.py).
"""

import copy
import math
import pickle

import numpy as np
import pandas as pd
import pytest
from hypothesis import assume, given
from hypothesis import strategies as st

import _vexal
import numpy_reference as ref
from numpy_reference import TABLE_FORMS, run_into, same_bits

nan = math.nan

# -- data --------------------------------------------------------------------------------

SPECIALS = [nan, math.inf, -math.inf, 0.0, -0.0, 1e308, -1e308, 1e-308, 5e-324, -5e-324, 1e154, 1e-154,
            -1.0, -100.0]
SCALES = [1.0, 1.0, 1.0, 1e-300, 1e-150, 1e-8, 1e8, 1e150, 1e300, -1.0]

any_value = st.one_of(
    st.floats(1.0, 200.0),
    st.floats(-1e3, 1e3),
    st.sampled_from(SPECIALS),
    st.floats(allow_nan=True, allow_infinity=True),
)


@st.composite
def price_row(draw, width, scale):
    """One bar of plausible prices: (high, low, open, close) with
    high >= open, close >= low, all scaled by the example's scale."""
    p = draw(st.floats(1.0, 200.0))
    up, down = draw(st.floats(0.0, 0.05)), draw(st.floats(0.0, 0.05))
    o, c = draw(st.floats(0.0, 1.0)), draw(st.floats(0.0, 1.0))
    high, low = p * (1 + up), p * (1 - down)
    row = [high, low, low + o * (high - low), low + c * (high - low)]
    return [v * scale for v in row[:width]] if width <= 4 else [v * scale for v in row] + [p] * (width - 4)


@st.composite
def datasets(draw, width, max_bars=48):
    """Rows of `width` values: runs of plausible prices, constant runs and
    arbitrary values, one scale for the whole example."""
    scale = draw(st.sampled_from(SCALES))
    rows: list[list[float]] = []
    for kind, length in draw(st.lists(st.tuples(st.sampled_from("ppcx"), st.integers(1, 12)), max_size=8)):
        if kind == "p":
            rows += [draw(price_row(width, scale)) for _ in range(length)]
        elif kind == "c":
            rows += [draw(price_row(width, scale))] * length
        else:
            rows += [draw(st.lists(any_value, min_size=width, max_size=width)) for _ in range(length)]
    return rows[:max_bars]


# -- the transforms under test ------------------------------------------------------------------

def windowed(minimum, maximum=10):
    return st.integers(minimum, maximum)


# name -> (values read per bar, outputs per bar, missing-value rule, config strategy,
#          constructor (config, inputs, outputs), reference (columns, config) -> (n, produces) array)
def _column(f):
    return lambda cols, c: np.asarray(f(cols, c)).reshape(len(cols[0]), -1)


TRANSFORMS = {
    "Sma": (1, 1, "window", st.fixed_dictionaries({"window": windowed(1)}),
            lambda c, i, o: _vexal.Sma(i, c["window"], o), _column(lambda x, c: ref.sma(x[0], c["window"]))),
    "Ema": (1, 1, "recursive", st.fixed_dictionaries({"window": windowed(1)}),
            lambda c, i, o: _vexal.Ema(i, c["window"], o), _column(lambda x, c: ref.ema(x[0], c["window"]))),
    "Kama": (1, 1, "recursive",
             st.fixed_dictionaries({"window": windowed(1), "fast": st.integers(1, 5), "slow": st.integers(6, 40)}),
             lambda c, i, o: _vexal.Kama(i, c["window"], o, fast=c["fast"], slow=c["slow"]),
             _column(lambda x, c: ref.kama(x[0], c["window"], c["fast"], c["slow"]))),
    "SimpleReturn": (1, 1, "lookback", st.fixed_dictionaries({"window": windowed(1)}),
                     lambda c, i, o: _vexal.SimpleReturn(i, c["window"], o),
                     _column(lambda x, c: ref.simple_return(x[0], c["window"]))),
    "LogReturn": (1, 1, "lookback", st.fixed_dictionaries({"window": windowed(1)}),
                  lambda c, i, o: _vexal.LogReturn(i, c["window"], o),
                  _column(lambda x, c: ref.log_return(x[0], c["window"]))),
    "Skewness": (1, 1, "window", st.fixed_dictionaries({"window": windowed(3)}),
                 lambda c, i, o: _vexal.Skewness(i, c["window"], o),
                 _column(lambda x, c: ref.skewness(x[0], c["window"]))),
    "Kurtosis": (1, 1, "window", st.fixed_dictionaries({"window": windowed(4)}),
                 lambda c, i, o: _vexal.Kurtosis(i, c["window"], o),
                 _column(lambda x, c: ref.kurtosis(x[0], c["window"]))),
    "LinearSlope": (2, 2, "window", st.fixed_dictionaries({"window": windowed(2)}),
                    lambda c, i, o: _vexal.LinearSlope(i, c["window"], o),
                    _column(lambda x, c: ref.linear_slope(x[0], x[1], c["window"]))),
    "ParkinsonVolatility": (2, 1, "window", st.fixed_dictionaries({"window": windowed(1)}),
                            lambda c, i, o: _vexal.ParkinsonVolatility(i, c["window"], o),
                            _column(lambda x, c: ref.parkinson(x[0], x[1], c["window"]))),
    "RogersSatchellVolatility": (4, 1, "window", st.fixed_dictionaries({"window": windowed(1)}),
                                 lambda c, i, o: _vexal.RogersSatchellVolatility(i, c["window"], o),
                                 _column(lambda x, c: ref.rogers_satchell(*x[:4], c["window"]))),
    "Subtract": (2, 1, "bar", st.just({}), lambda c, i, o: _vexal.Subtract(i, o),
                 _column(lambda x, c: ref.subtract(x[0], x[1]))),
    "NegLog": (1, 1, "bar", st.just({}), lambda c, i, o: _vexal.NegLog(i, o),
               _column(lambda x, c: ref.neg_log(x[0]))),
    "RollingZScore": (1, 1, "window", st.fixed_dictionaries({"window": windowed(2)}),
                      lambda c, i, o: _vexal.RollingZScore(i, c["window"], o),
                      _column(lambda x, c: ref.rolling_zscore(x[0], c["window"]))),
    "FixedZScore": (1, 1, "bar",
                    st.fixed_dictionaries({
                        "mean": st.one_of(st.floats(-1e3, 1e3), st.sampled_from(SPECIALS)),
                        "std": st.one_of(st.floats(1e-6, 1e3), st.sampled_from([5e-324, 1e308, math.inf, nan])),
                    }),
                    lambda c, i, o: _vexal.FixedZScore(i, o, c["mean"], c["std"]),
                    _column(lambda x, c: ref.fixed_zscore(x[0], c["mean"], c["std"]))),
}

# Operators take exactly as many inputs as they read; the others accept more.
EXACT_INPUTS = {"Subtract", "NegLog", "RollingZScore", "FixedZScore"}
EXACT_OUTPUTS = {"LinearSlope"}


@st.composite
def configured(draw, name, spare_outputs=True):
    """(config, input names, output names) with extra names where allowed.
    Pipelines get no spare output names: where a name without a value goes
    in a pipeline's result is the pipeline's business, not the transform's."""
    reads, produces, _, config, _, _ = TRANSFORMS[name]
    extra_in = 0 if name in EXACT_INPUTS else draw(st.integers(0, 2))
    extra_out = 0 if name in EXACT_OUTPUTS or not spare_outputs else draw(st.integers(0, 2))
    inputs = [f"in{i}" for i in range(reads + extra_in)]
    outputs = [f"out{i}" for i in range(produces + extra_out)]
    return draw(config), inputs, outputs


def build(name, config, inputs, outputs):
    return TRANSFORMS[name][4](config, inputs, outputs)


def feed(obj, rows):
    return [obj.update(r) for r in rows]


def columns_of(rows, width):
    return [np.array([r[i] for r in rows], dtype=np.float64) for i in range(width)]


def widen(rows, width, filler=-7.25):
    """Pads each bar with values for the columns a transform ignores."""
    return [list(r) + [filler] * (width - len(r)) for r in rows]


def assert_rows_equal(actual, expected, what):
    assert len(actual) == len(expected), what
    for t, (a, e) in enumerate(zip(actual, expected)):
        assert same_bits(a, e), f"{what}: bar {t}: {a} != {list(e)}"


# -- properties of the streaming transforms --------------------------------------------------

NAMES = list(TRANSFORMS)
# Live against research, reset and restoration hold for every registered
# class in the core's contract suite; here they run on one class of each
# shape (a window, a recursion, a lookback, the regression, a range input,
# an operator, a scaler), through the Python face that suite can't reach.
ALIKE = ["Sma", "Ema", "LogReturn", "LinearSlope", "RogersSatchellVolatility", "Subtract", "FixedZScore"]


@pytest.mark.parametrize("name", NAMES)
@given(data=st.data())
def test_updates_equal_the_numpy_reference(name, data, property_cases):
    reads, produces = TRANSFORMS[name][:2]
    config, inputs, outputs = data.draw(configured(name))
    rows = data.draw(datasets(reads))
    obj = build(name, config, inputs, outputs)
    actual = feed(obj, widen(rows, len(inputs)))
    expected = TRANSFORMS[name][5](columns_of(rows, reads), config) if rows else np.empty((0, produces))
    assert_rows_equal(actual, expected, f"{name}{config}")
    property_cases[name] += 1


@pytest.mark.parametrize("name", ALIKE)
@given(data=st.data())
def test_live_research_and_fresh_copies_agree(name, data, property_cases):
    reads = TRANSFORMS[name][0]
    config, inputs, outputs = data.draw(configured(name, spare_outputs=False))
    rows = widen(data.draw(datasets(reads)), len(inputs))
    prefix = widen(data.draw(datasets(reads, max_bars=12)), len(inputs))
    direct = feed(build(name, config, inputs, outputs), rows)

    used = build(name, config, inputs, outputs)
    feed(used, prefix)
    before = repr(used)
    pipeline = _vexal.FeaturePipeline([used], inputs)
    # The pipeline took a copy in the state right after construction.
    assert_rows_equal(pipeline.run_research(rows), direct, "research")
    live = _vexal.FeaturePipeline([used], inputs)
    assert_rows_equal(feed(live, rows), direct, "live pipeline")
    # The array path gives the same rows and leaves the state research
    # leaves: live updates of the prefix carry on identically.
    forms = data.draw(st.sampled_from(TABLE_FORMS)), data.draw(st.sampled_from(TABLE_FORMS))
    assert_rows_equal(run_into(pipeline, rows, *forms, width=None if rows else len(inputs)), direct, f"into {forms}")
    assert_rows_equal(feed(pipeline, prefix), feed(live, prefix), "after the array path")
    # ... and left the user's object where it was.
    assert repr(used) == before
    assert_rows_equal(feed(used, rows), feed(_replayed(name, config, inputs, outputs, prefix), rows), "user object")
    property_cases[name] += 1


def _replayed(name, config, inputs, outputs, prefix):
    obj = build(name, config, inputs, outputs)
    feed(obj, prefix)
    return obj


@pytest.mark.parametrize("name", ALIKE)
@given(data=st.data())
def test_reset_behaves_like_a_new_object(name, data, property_cases):
    reads = TRANSFORMS[name][0]
    config, inputs, outputs = data.draw(configured(name, spare_outputs=False))
    rows = widen(data.draw(datasets(reads)), len(inputs))
    prefix = widen(data.draw(datasets(reads, max_bars=20)), len(inputs))
    expected = feed(build(name, config, inputs, outputs), rows)

    obj = build(name, config, inputs, outputs)
    feed(obj, prefix)
    assert obj.reset() is None
    assert_rows_equal(feed(obj, rows), expected, "reset object")

    pipeline = _vexal.FeaturePipeline([build(name, config, inputs, outputs)], inputs)
    feed(pipeline, prefix)
    pipeline.reset()
    assert_rows_equal(feed(pipeline, rows), expected, "reset pipeline")
    # Research starts clean whatever ran before, and twice gives the same.
    assert_rows_equal(pipeline.run_research(rows), expected, "research after live")
    assert_rows_equal(pipeline.run_research(rows), expected, "research again")
    property_cases[name] += 1


def restored(obj, how, protocol=pickle.HIGHEST_PROTOCOL):
    return {
        "from_snapshot": lambda: type(obj).from_snapshot(obj.snapshot()),
        "load": lambda: _vexal.load(obj.snapshot()),
        "pickle": lambda: pickle.loads(pickle.dumps(obj, protocol)),
        "deepcopy": lambda: copy.deepcopy(obj),
        "copy": lambda: copy.copy(obj),
    }[how]()


RESTORATIONS = ["from_snapshot", "load", "pickle", "deepcopy", "copy"]


def assert_continues_alike(obj, rows, k, expected, data):
    """Restored after bar k every way there is, obj and each copy give the
    uninterrupted run's bits and end with equal snapshots."""
    feed(obj, rows[:k])
    saved = obj.snapshot()
    protocol = data.draw(st.integers(0, pickle.HIGHEST_PROTOCOL))
    copies = [restored(obj, how, protocol) for how in RESTORATIONS]
    for how, c in zip(RESTORATIONS, copies):
        assert type(c) is type(obj) and c.snapshot() == saved, how
        assert_rows_equal(feed(c, rows[k:]), expected[k:], how)
    assert obj.snapshot() == saved, "a copy's updates reached the original"
    assert_rows_equal(feed(obj, rows[k:]), expected[k:], "original")
    assert all(c.snapshot() == obj.snapshot() for c in copies)


def assert_peeks_change_nothing(obj, rows):
    for t, r in enumerate(rows):
        before = obj.snapshot()
        peeked = obj.peek(r)
        assert obj.snapshot() == before, f"bar {t}: peek changed the state"
        assert same_bits(obj.update(r), peeked), f"bar {t}"


@pytest.mark.parametrize("name", ALIKE)
@given(data=st.data())
def test_a_restored_transform_continues_bit_for_bit(name, data, property_cases):
    reads = TRANSFORMS[name][0]
    config, inputs, outputs = data.draw(configured(name))
    rows = widen(data.draw(datasets(reads)), len(inputs))
    k = data.draw(st.integers(0, len(rows)))
    expected = feed(build(name, config, inputs, outputs), rows)
    obj = build(name, config, inputs, outputs)
    assert_continues_alike(obj, rows, k, expected, data)
    assert repr(restored(obj, "load")) == repr(obj)
    assert_peeks_change_nothing(build(name, config, inputs, outputs), rows)
    property_cases[name] += 1


@st.composite
def feature_pipelines(draw):
    """Up to four random transforms reading four input columns, and a
    z-score reading the first one's output, listed in a random order."""
    names = draw(st.lists(st.sampled_from(NAMES), min_size=1, max_size=4))
    transforms = []
    for i, name in enumerate(names):
        config, inputs, outputs = draw(configured(name, spare_outputs=False))
        transforms.append(build(name, config, [f"c{j % 4}" for j in range(len(inputs))], [f"t{i}_{o}" for o in outputs]))
    transforms.append(_vexal.RollingZScore([transforms[0].output_names()[0]], draw(windowed(2, 5)), ["chained"]))
    order = draw(st.permutations(range(len(transforms))))
    return _vexal.FeaturePipeline([transforms[i] for i in order], ["c0", "c1", "c2", "c3"])


@given(data=st.data())
def test_a_restored_feature_pipeline_continues_bit_for_bit(data, property_cases):
    pipeline = data.draw(feature_pipelines())
    rows = data.draw(datasets(4))
    k = data.draw(st.integers(0, len(rows)))
    expected = pipeline.run_research(rows)
    pipeline.reset()
    assert_continues_alike(pipeline, rows, k, expected, data)
    assert restored(pipeline, "load").output_names() == pipeline.output_names()
    pipeline.reset()
    assert_peeks_change_nothing(pipeline, rows)
    property_cases["FeaturePipeline"] += 1


def affected_bars(name, config, k, n):
    """Bars whose output a missing value at bar k must make NaN; None for
    the recursive averages, whose later bars are checked differently."""
    rule = TRANSFORMS[name][2]
    w = config.get("window", 1)
    if rule == "window":
        hit = range(k, k + w)
    elif rule == "lookback":
        hit = (k, k + w)
    elif rule == "bar":
        hit = (k,)
    else:
        return None
    return {t for t in hit if t < n}


@pytest.mark.parametrize("name", NAMES)
@given(data=st.data())
def test_a_nan_at_bar_k_affects_exactly_the_bars_of_the_rule(name, data, property_cases):
    reads = TRANSFORMS[name][0]
    config, inputs, outputs = data.draw(configured(name))
    rows = data.draw(datasets(reads))
    assume(rows)
    k = data.draw(st.integers(0, len(rows) - 1))
    column = data.draw(st.integers(0, reads - 1))
    gappy = [list(r) for r in rows]
    gappy[k][column] = nan
    clean = feed(build(name, config, inputs, outputs), widen(rows, len(inputs)))
    holed = feed(build(name, config, inputs, outputs), widen(gappy, len(inputs)))

    hit = affected_bars(name, config, k, len(rows))
    if hit is None:
        # Ema and Kama drop their running value and start again from the
        # bars after the gap, exactly as a new object fed only those would.
        w = config["window"]
        blank = range(k, min(len(rows), k + (w + 1 if name == "Kama" else 1)))
        hit = set(blank)
        restarted = feed(build(name, config, inputs, outputs), widen(gappy[k + 1:], len(inputs)))
        assert_rows_equal(holed[k + 1:], restarted, "after the gap")
        unchanged = range(k)
    else:
        unchanged = [t for t in range(len(rows)) if t not in hit]
    for t in hit:
        assert all(math.isnan(v) for v in holed[t]), f"bar {t} should be NaN: {holed[t]}"
    for t in unchanged:
        assert same_bits(holed[t], clean[t]), f"bar {t} changed: {holed[t]} != {clean[t]}"
    property_cases[name] += 1


# -- fitting ---------------------------------------------------------------------------

@given(data=st.one_of(st.lists(any_value, max_size=40), st.lists(st.floats(-1e6, 1e6), min_size=2, max_size=40)))
def test_fit_standard_scaler_equals_the_reference(data, property_cases):
    expected = ref.fit_standard_scaler(data)
    if expected is None:
        with pytest.raises(ValueError, match="^Invalid input: "):
            _vexal.fit_standard_scaler(data)
    else:
        mean, std = _vexal.fit_standard_scaler(data)
        assert same_bits([mean, std], list(expected))
        valid = np.array([v for v in data if not math.isnan(v)])
        if np.all(np.isfinite(valid)) and np.max(np.abs(valid)) < 1e100:
            scale = max(1.0, float(np.max(np.abs(valid))))
            assert mean == pytest.approx(np.mean(valid), rel=1e-9, abs=1e-9 * scale)
            assert std == pytest.approx(np.std(valid, ddof=1), rel=1e-7, abs=1e-9 * scale)
    property_cases["fit_standard_scaler"] += 1


# -- targets -----------------------------------------------------------------------------

@st.composite
def target_columns(draw, count):
    rows = draw(datasets(count, max_bars=60))
    return [[r[i] for r in rows] for i in range(count)] if rows else [[] for _ in range(count)]


def run_target(target, columns, names):
    pipeline = _vexal.TargetPipeline([target], names)
    first = pipeline.run_research(columns)
    # Targets keep no state: a second call, even after other data, agrees.
    pipeline.run_research([list(reversed(c)) for c in columns])
    assert all(same_bits(a, b) for a, b in zip(pipeline.run_research(columns), first))
    # The array path (columns of one length) writes the same labels, whatever the forms.
    if len({len(c) for c in columns}) == 1:
        bars = np.array(columns, dtype=np.float64).reshape(len(columns), len(columns[0])).T
        for forms in (("C", "F"), ("columns", "strided"), ("F", "columns")):
            got = run_into(pipeline, bars, *forms, width=None if len(bars) else len(names))
            assert all(same_bits(a, b) for a, b in zip(got.T, first)), forms
    return first


def pandas_future_return(close, h):
    s = pd.Series(close, dtype=np.float64)
    with np.errstate(all="ignore"):
        out = (s.shift(-h) - s) / s
    return out.where(s > 0).to_numpy()


def pandas_future_ctc_volatility(close, h):
    s = pd.Series(close, dtype=np.float64)
    prev = s.shift(1)
    with np.errstate(all="ignore"):
        r = np.log(s / prev).where((s > 0) & (prev > 0))
    return r.rolling(h).std(ddof=1).shift(-h).to_numpy()


@given(columns=target_columns(2), h=st.integers(1, 8), extra=st.integers(0, 1))
def test_future_return_equals_pandas(columns, h, extra, property_cases):
    names = ["close", "other"][: 1 + extra]
    target = _vexal.FutureReturn(names, h, ["fr", "fr2"][: 1 + extra])
    # One column whatever the number of output names.
    label = run_target(target, columns[: len(names)], names)[0]
    assert same_bits(label, ref.future_return(columns[0], h))
    assert same_bits(label, pandas_future_return(columns[0], h))
    property_cases["FutureReturn"] += 1


@given(columns=target_columns(1), h=st.integers(2, 8))
def test_future_ctc_volatility_equals_numpy_and_pandas(columns, h, property_cases):
    target = _vexal.FutureCTCVolatility("close", h)
    (label,) = run_target(target, columns, ["close"])
    close = columns[0]
    assert same_bits(label, ref.future_ctc_volatility(close, h))
    expected = pandas_future_ctc_volatility(close, h)
    assert np.array_equal(np.isnan(label), np.isnan(expected))
    finite = np.isfinite(label)
    prices = np.asarray(close, dtype=np.float64)
    if prices.size and np.all(np.isfinite(prices)) and np.all((prices == 0) | (np.abs(prices) > 1e-100)):
        # pandas' rolling std is an online algorithm: equal up to rounding,
        # and a window of equal returns after a large one keeps a residue of
        # about sqrt(eps) times that return instead of 0.
        with np.errstate(all="ignore"):
            moves = np.abs(np.diff(np.log(prices)))
        scale = max(1.0, float(np.max(moves[np.isfinite(moves)], initial=0.0)))
        np.testing.assert_allclose(np.asarray(label)[finite], expected[finite], rtol=1e-6, atol=1e-7 * scale)
    property_cases["FutureCTCVolatility"] += 1


@given(columns=target_columns(2), h=st.integers(2, 8), cut=st.integers(-6, 6))
def test_future_linear_slope_equals_numpy_whatever_the_column_lengths(columns, h, cut, property_cases):
    x, y = columns
    # The pipeline passes columns of unequal length as they are.
    y = y[: len(y) + cut] if cut < 0 else y + [1.0] * cut
    target = _vexal.FutureLinearSlope(["x", "y"], h, ["slope", "r2"])
    slope, r2 = run_target(target, [x, y], ["x", "y"])
    expected_slope, expected_r2 = ref.future_linear_slope(x, y, h)
    assert same_bits(slope, expected_slope) and same_bits(r2, expected_r2)
    property_cases["FutureLinearSlope"] += 1


@given(columns=target_columns(2), h1=st.integers(1, 6), h2=st.integers(2, 6), cut=st.integers(-5, 5))
def test_a_target_pipeline_concatenates_what_each_target_gives_alone(columns, h1, h2, cut, property_cases):
    # Columns of unequal length pass to the targets as they are.
    a, b = columns
    columns = [a, b[: len(b) + cut] if cut < 0 else b + [2.0] * cut]
    targets = [_vexal.FutureReturn(["a"], h1, ["fr"]), _vexal.FutureCTCVolatility("b", h2),
               _vexal.FutureLinearSlope(["a", "b"], h2, ["s", "r"])]
    together = run_target_pipeline(targets, columns, ["a", "b"])
    alone = []
    for target, names in zip(targets, (["a"], ["b"], ["a", "b"])):
        alone += run_target(target, [columns["ab".index(n)] for n in names], names)
    assert len(together) == len(alone) == 4
    assert all(same_bits(x, y) for x, y in zip(together, alone))
    assert same_bits(together[0], ref.future_return(columns[0], h1))
    assert same_bits(together[1], ref.future_ctc_volatility(columns[1], h2))
    assert all(same_bits(x, y) for x, y in zip(together[2:], ref.future_linear_slope(*columns, h2)))
    property_cases["TargetPipeline"] += 1


def run_target_pipeline(targets, columns, names):
    pipeline = _vexal.TargetPipeline(targets, names)
    assert pipeline.forward_period() == max(t.forward_period() for t in targets)
    return pipeline.run_research(columns)


@given(columns=target_columns(2), h=st.integers(1, 6), protocol=st.integers(0, pickle.HIGHEST_PROTOCOL))
def test_restored_targets_and_target_pipelines_label_alike(columns, h, protocol, property_cases):
    targets = [_vexal.FutureReturn(["b"], h, ["r"]), _vexal.FutureCTCVolatility("a", h + 1),
               _vexal.FutureLinearSlope(["a", "b"], h + 1, ["s", "q"])]
    pipeline = _vexal.TargetPipeline(targets, ["a", "b"])
    expected = pipeline.run_research(columns)
    for obj in targets + [pipeline]:
        for how in RESTORATIONS:
            c = restored(obj, how, protocol)
            assert type(c) is type(obj) and c.snapshot() == obj.snapshot(), how
            assert (c.input_names(), c.output_names(), c.forward_period()) == (
                obj.input_names(), obj.output_names(), obj.forward_period())
    again = _vexal.TargetPipeline([restored(t, "pickle", protocol) for t in targets], ["a", "b"])
    for a, e in zip(restored(pipeline, "load").run_research(columns) + again.run_research(columns), expected * 2):
        assert same_bits(a, e)
    property_cases["TargetPipeline"] += 1


# -- sizes near 2**64 ----------------------------------------------------------------
# A horizon or window near 2**64 reaches past any data: the labels and values
# are those of a horizon longer than the series, on every path. A sum such as
# now + horizon must saturate, never wrap round to read a past bar.
NEAR_TOP = st.integers(2**64 - 2**14, 2**64 - 1) | st.integers(2**63 - 2, 2**63 + 2)


@given(columns=target_columns(2), h=NEAR_TOP)
def test_horizons_near_the_top_label_nothing_on_every_path(columns, h, property_cases):
    targets = [(_vexal.FutureReturn(["close"], h, ["fr"]), 1), (_vexal.FutureCTCVolatility("close", h), 1),
               (_vexal.FutureLinearSlope(["close", "other"], h, ["s", "r2"]), 2),
               (_vexal.FutureMax(["other", "close"], h, ["m"]), 1), (_vexal.FutureMin(["other", "close"], h, ["m"]), 1),
               (_vexal.FutureDrawdown(["close"], h, ["d"]), 1)]
    for target, width in targets:
        names = target.input_names()
        labels = run_target(target, columns[: len(names)], names)
        assert len(labels) == width and all(np.isnan(v) for col in labels for v in col)
        pipeline = _vexal.TargetPipeline([target], names)
        assert pipeline.forward_period() == h
    property_cases["huge horizons"] += 1


@given(data=st.data(), window=NEAR_TOP)
def test_windows_near_the_top_are_refused_or_stay_absent(data, window, property_cases):
    rows = data.draw(datasets(3))
    for make in (lambda w: _vexal.Rsi(["c"], w, ["o"]), lambda w: _vexal.Atr(["h", "l", "c"], w, ["o"]),
                 lambda w: _vexal.Adx(["h", "l", "c"], w, ["a", "p", "m"]), lambda w: _vexal.Sma(["c"], w, ["o"])):
        try:
            obj = make(window)
        except ValueError as e:
            assert str(e) == "Invalid input: window is too large"
            continue
        # The warm-up saturates instead of wrapping to a short one.
        assert obj.warm_up_period() >= window - 1
        inputs = obj.input_names()
        width = len(inputs)
        table = [r[:width] for r in rows]
        live = feed(obj, table)
        pipeline = _vexal.FeaturePipeline([obj], inputs)
        assert_rows_equal(pipeline.run_research(table), live, "research")
        assert_rows_equal(run_into(pipeline, table, "C", "C", width=None if table else width), live, "array path")
        assert all(np.isnan(v) for row in live for v in row)
    property_cases["huge windows"] += 1
