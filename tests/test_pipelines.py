"""FeaturePipeline and TargetPipeline from Python: construction and its
errors, fresh copies of the user's objects, live against research mode,
result alignment, state after failures, borrows and reference hygiene."""

import gc
import itertools
import math
import os
import pickle
import re
import shutil
import struct
import subprocess
import sys
import tracemalloc

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vexal import (
    Ema, FeaturePipeline, FixedZScore, FutureCTCVolatility, FutureLinearSlope, FutureReturn, Kama, Kurtosis,
    LinearSlope, LogReturn, NegLog, ParkinsonVolatility, RogersSatchellVolatility, RollingZScore, SimpleReturn,
    Skewness, Sma, Subtract, TargetPipeline,
)

from numpy_reference import TABLE_FORMS, run_into, same_bits

pytestmark = pytest.mark.native

nan = float("nan")
OHLC = ["open", "high", "low", "close"]


def same(a, b):
    """Bitwise equality of two float lists, NaN equal to NaN."""
    return len(a) == len(b) and all(struct.pack("<d", x) == struct.pack("<d", y) or (x != x and y != y)
                                    for x, y in zip(a, b))


def same_rows(a, b):
    return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))


def ohlc_bars(spy, n=None):
    rows = list(zip(*(spy[c] for c in OHLC)))
    return [list(r) for r in rows[:n]]


# Every transform class, each with its dependencies on other entries
# (name -> (factory, names of the entries it reads from)).
POOL = {
    "ret1": (lambda: SimpleReturn(["close"], 1, ["ret1"]), []),
    "lret5": (lambda: LogReturn(["close"], 5, ["lret5"]), []),
    "sma10": (lambda: Sma(["close"], 10, ["sma10"]), []),
    "ema10": (lambda: Ema(["close"], 10, ["ema10"]), []),
    "kama10": (lambda: Kama(["close"], 10, ["kama10"]), []),
    "gap": (lambda: Subtract(["sma10", "ema10"], ["gap"]), ["sma10", "ema10"]),
    "gap_z": (lambda: FixedZScore(["gap"], ["gap_z"], 0.5, 2.0), ["gap"]),
    "ret1_z": (lambda: RollingZScore(["ret1"], 20, ["ret1_z"]), ["ret1"]),
    "skew": (lambda: Skewness(["ret1"], 20, ["skew"]), ["ret1"]),
    "kurt": (lambda: Kurtosis(["ret1"], 20, ["kurt"]), ["ret1"]),
    "slope": (lambda: LinearSlope(["open", "close"], 10, ["slope", "r2"]), []),
    "pv": (lambda: ParkinsonVolatility(["high", "low"], 10, ["pv"]), []),
    "rs": (lambda: RogersSatchellVolatility(["high", "low", "open", "close"], 10, ["rs"]), []),
    "neglog_pv": (lambda: NegLog(["pv"], ["neglog_pv"]), ["pv"]),
}


def closure(keys):
    """The keys plus everything they depend on."""
    out, todo = [], list(keys)
    while todo:
        k = todo.pop()
        if k not in out:
            out.append(k)
            todo.extend(POOL[k][1])
    return out


def build(keys):
    return FeaturePipeline([POOL[k][0]() for k in keys], OHLC)


def live(pipeline, bars):
    return [pipeline.update(b) for b in bars]


def by_name(pipeline, rows):
    names = pipeline.output_names()
    return {n: [r[i] for r in rows] for i, n in enumerate(names)}


@pytest.fixture(scope="module")
def spy_small(spy):
    return ohlc_bars(spy, 120)


# -- Python face ------------------------------------------------------------------

SNAPSHOT_METHODS = {
    "snapshot": ("($self)", "The configuration and complete state as ``bytes``; ``from_snapshot()`` rebuilds an "
                 "object that continues bit for bit alike."),
    "from_snapshot": ("($type, data, max_bytes=1073741824)", "Rebuild an object from the bytes ``snapshot()`` returned.\n\nRaises "
                      "``ValueError`` for bytes that are corrupted, truncated or of another class, and for a snapshot "
        "whose\nwindows would need more than ``max_bytes`` bytes of memory (``None``: no limit)."),
}
FEATURE_METHODS = {
    "update": ("($self, values)",
               "Process one bar (live mode).\n\nArgs:\n    values: One float per input column. Use "
               "``float('nan')`` for missing.\n\nReturns:\n    Flat list of output values matching "
               "``output_names()``."),
    "peek": ("($self, values)",
             "The result ``update(values)`` would return now, leaving every feature's state as it is.\n\nArgs:\n"
             "    values: One float per input column, as for ``update()``.\n\nReturns:\n    Flat list of output "
             "values matching ``output_names()``."),
    "run_research": ("($self, data)",
                     "Process a full dataset bar by bar (research mode).\n\nArgs:\n    data: List of bars, each "
                     "bar is a list of input values.\n\nReturns:\n    List of bars, each bar is a list of output "
                     "values."),
    "run_research_into": ("($self, data, out, threads=1, *, reset=True)",
                          "Process a full dataset into an array (research mode).\n\nResets the pipeline first and "
                          "leaves it as ``run_research()`` does, so ``update()`` continues from the last bar.\nThe "
                          "interpreter lock is released while computing.\n\nArgs:\n    data: 2-D buffer of shape "
                          "(bars, input columns) in any order, or a sequence of 1-D buffers,\n          one per "
                          "input column. float64, float32, integers or bool; NaN marks a missing value.\n    out: "
                          "Writable float64 buffer of shape (bars, len(output_names())), or a sequence\n         of "
                          "writable 1-D float64 buffers, one per output name. Missing values are written as "
                          "NaN.\n    threads: Threads to spread the transforms over; transforms that do not read "
                          "one another\n             run at once. The results are the same for any number.\n"
                          "    reset: False continues from the pipeline's current state instead: calls over\n"
                          "           consecutive slices of a series equal one call over the whole, bit for "
                          "bit.\n\nReturns:\n    None."),
    "reset": ("($self)", "Reset all features (e.g. between CPCV splits)."),
    "output_names": ("($self)", "Output column names in execution order."),
    "input_names": ("($self)", "Input columns in the order expected by ``update()``."),
    "warm_up_period": ("($self)", "Maximum warm-up period across all features."),
    **SNAPSHOT_METHODS,
}
TARGET_METHODS = {
    "run_research": ("($self, data)",
                     "Run all targets over the full dataset (research mode).\n\nArgs:\n    data: One list per input "
                     "column, each containing one float per bar.\n          Use ``float('nan')`` for missing "
                     "values.\n\nReturns:\n    One list per output column, in ``output_names()`` order."),
    "run_research_into": ("($self, columns, out)",
                          "Run all targets over the full dataset into an array (research mode).\n\nThe interpreter "
                          "lock is released while computing.\n\nArgs:\n    columns: 2-D buffer of shape (bars, input "
                          "columns) in any order, or a sequence of\n             1-D buffers, one per input column. "
                          "float64, float32, integers or bool;\n             NaN marks a missing value.\n    out: "
                          "Writable float64 buffer of shape (bars, len(output_names())), or a sequence\n         of "
                          "writable 1-D float64 buffers, one per output name. Missing values are written as "
                          "NaN.\n\nReturns:\n    None."),
    "output_names": ("($self)", "Output column names, in order."),
    "input_names": ("($self)", "Input columns in the order expected by ``run_research()``."),
    "forward_period": ("($self)", "Maximum forward period across all targets."),
    **SNAPSHOT_METHODS,
}
FACES = {
    FeaturePipeline: ("(features, input_columns)",
                      "Orchestrates features in DAG-resolved order.\n\nFeatures are resolved automatically \u2014 "
                      "pass them in any order.\nUse ``run_research()`` for batch mode or ``update()`` for live "
                      "mode.",
                      FEATURE_METHODS, lambda: FeaturePipeline([Sma(["c"], 2, ["s"]), Ema(["c"], 3, ["e"])], ["c"])),
    TargetPipeline: ("(targets, input_columns)",
                     "Orchestrates multiple targets over a full dataset.\n\nTargets are stateless and independent "
                     "\u2014 no DAG needed.\nUse ``run_research()`` to label an entire dataset at once.",
                     TARGET_METHODS, lambda: TargetPipeline([FutureReturn(["c"], 1, ["f"])], ["c"])),
}


@pytest.mark.parametrize("cls", FACES, ids=lambda c: c.__name__)
def test_class_face(cls):
    signature, doc, methods, make = FACES[cls]
    assert (cls.__module__, cls.__name__, cls.__qualname__) == ("vexal", cls.__name__, cls.__name__)
    assert cls.__doc__ == doc and cls.__text_signature__ == signature
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    public = [m for m in vars(cls) if not m.startswith("_")]
    assert public == list(methods)
    for name, (sig, text) in methods.items():
        assert getattr(cls, name).__text_signature__ == sig, name
        assert getattr(cls, name).__doc__ == text, name
    obj = make()
    assert re.fullmatch(rf"<vexal\.{cls.__name__} object at 0x[0-9a-f]+>", repr(obj))
    assert len(obj) == (2 if cls is FeaturePipeline else 1)
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.extra = 1
    assert "__repr__" not in vars(cls) and "__iter__" not in vars(cls) and "__eq__" not in vars(cls)


def test_keywords_and_sequences_are_accepted():
    p = FeaturePipeline(input_columns=("c",), features=(Sma(["c"], 1, ["s"]),))
    assert p.update(values=(2,)) == [2.0]
    assert p.run_research(data=((1,), [3.5])) == [[1.0], [3.5]]
    t = TargetPipeline(input_columns=["c"], targets=[FutureReturn(["c"], 1, ["f"])])
    assert same(t.run_research(data=((100, 110),))[0], [0.1, nan])


# -- construction errors ---------------------------------------------------------

S = lambda name="s", src="c": Sma([src], 2, [name])  # noqa: E731


@pytest.mark.parametrize(
    "make, exc_type, message",
    [
        (lambda: FeaturePipeline([], ["c"]), ValueError, "Invalid configuration: features must not be empty"),
        (lambda: FeaturePipeline([], []), ValueError, "Invalid configuration: features must not be empty"),
        (lambda: FeaturePipeline([S(), 3], ["c"]), ValueError, "unsupported feature type: int"),
        (lambda: FeaturePipeline(["c"], ["c"]), ValueError, "unsupported feature type: str"),
        (lambda: FeaturePipeline([FutureReturn(["c"], 1, ["f"])], ["c"]), ValueError,
         "unsupported feature type: FutureReturn"),
        (lambda: FeaturePipeline([S, S()], ["c"]), ValueError, "unsupported feature type: function"),
        # Extraction comes before every check of the pipeline itself.
        (lambda: FeaturePipeline([S("s"), S("s"), None], ["c", "c"]), ValueError,
         "unsupported feature type: NoneType"),
        (lambda: FeaturePipeline([S()], ["c", "x", "c"]), ValueError,
         'Invalid configuration: duplicate input column: "c"'),
        (lambda: FeaturePipeline([S("s"), S("t"), S("s")], ["c"]), ValueError,
         "Duplicate output key 's': produced by index 0 and 2"),
        # One object listed twice gives two copies with the same output name.
        (lambda: (lambda s: FeaturePipeline([s, s], ["c"]))(S()), ValueError,
         "Duplicate output key 's': produced by index 0 and 1"),
        (lambda: FeaturePipeline([S("a", "b"), S("b", "a"), S("z")], ["c"]), ValueError,
         "Cyclic dependency detected among features"),
        (lambda: FeaturePipeline([S("a", "b"), S("b", "a"), S("q", "missing")], ["c"]), ValueError,
         "Cyclic dependency detected among features"),
        (lambda: FeaturePipeline([ParkinsonVolatility(["high", "low"], 2, ["pv"]), S("s", "high"),
                                  Subtract(["pv", "open"], ["d"])], ["close"]), ValueError,
         'Missing input column(s): ["high", "low", "open"]'),
        (lambda: FeaturePipeline(3, ["c"]), TypeError,
         "argument 'features': 'int' object cannot be converted to 'Sequence'"),
        (lambda: FeaturePipeline([S()], "c"), TypeError, "argument 'input_columns': Can't extract `str` to `Vec`"),
        # Both arguments are converted before any element is extracted.
        (lambda: FeaturePipeline([3], "c"), TypeError, "argument 'input_columns': Can't extract `str` to `Vec`"),
        (lambda: FeaturePipeline([S()], [1]), TypeError,
         "argument 'input_columns': 'int' object cannot be converted to 'PyString'"),
        (lambda: FeaturePipeline(), TypeError,
         "FeaturePipeline.__new__() missing 2 required positional arguments: 'features' and 'input_columns'"),
        (lambda: FeaturePipeline([S()], ["c"], 1), TypeError,
         "FeaturePipeline.__new__() takes 2 positional arguments but 3 were given"),
        (lambda: TargetPipeline([], []), ValueError, "Invalid configuration: targets must not be empty"),
        (lambda: TargetPipeline([S()], ["c"]), ValueError, "unsupported target type: Sma"),
        (lambda: TargetPipeline([FutureReturn(["c"], 1, ["f"]), 2.5], ["c", "c"]), ValueError,
         "unsupported target type: float"),
        (lambda: TargetPipeline([FutureReturn(["c"], 1, ["f"])], ["c", "c"]), ValueError,
         'Invalid configuration: duplicate input column: "c"'),
        (lambda: TargetPipeline([FutureReturn(["c"], 1, ["f"]), FutureCTCVolatility("c", 2),
                                 FutureReturn(["c"], 2, ["f"])], ["c"]), ValueError,
         "Duplicate output key 'f': produced by index 0 and 2"),
        # A target's output is no source for another target.
        (lambda: TargetPipeline([FutureReturn(["c"], 1, ["f"]), FutureReturn(["f"], 1, ["g"]),
                                 FutureLinearSlope(["x", "f"], 2, ["s", "r"])], ["c"]), ValueError,
         'Missing input column(s): ["f", "x"]'),
        (lambda: TargetPipeline(None, ["c"]), TypeError,
         "argument 'targets': 'NoneType' object cannot be converted to 'Sequence'"),
        (lambda: TargetPipeline([FutureReturn(["c"], 1, ["f"])], input_columns=["c"], extra=1), TypeError,
         "TargetPipeline.__new__() got an unexpected keyword argument 'extra'"),
    ],
)
def test_construction_errors(make, exc_type, message):
    with pytest.raises(exc_type) as info:
        make()
    assert type(info.value) is exc_type
    assert str(info.value) == message


def test_a_failing_type_name_is_raised_instead():
    class Meta(type):
        def __getattribute__(cls, name):
            if name == "__name__":
                raise KeyError("no name")
            return super().__getattribute__(name)

    odd = Meta("Odd", (), {})()
    with pytest.raises(KeyError):
        FeaturePipeline([odd], ["c"])
    with pytest.raises(KeyError):
        TargetPipeline([odd], ["c"])


# -- fresh copies --------------------------------------------------------------------

def test_the_pipeline_takes_a_fresh_copy_and_shares_nothing():
    user = Sma(["c"], 3, ["s"])
    for x in [10.0, 20.0, 30.0]:
        user.update([x])
    assert user.update([40.0]) == [30.0]
    p = FeaturePipeline([user], ["c"])
    # The warm-up starts again inside the pipeline...
    assert same([p.update([x])[0] for x in [1.0, 2.0, 3.0]], [nan, nan, 2.0])
    # ...the user's object goes on from where it was...
    assert user.update([50.0]) == [40.0]
    # ...and neither reaches the other afterwards.
    user.reset()
    assert p.update([4.0]) == [3.0]
    assert math.isnan(user.update([100.0])[0])
    assert repr(user) == 'Sma(inputs=["c"], window=3, outputs=["s"])'


def test_building_a_pipeline_leaves_the_users_objects_untouched():
    feats = [Ema(["c"], 2, ["e"]), Kama(["c"], 2, ["k"])]
    for f in feats:
        f.update([5.0])
        f.update([6.0])
    refs = [sys.getrefcount(f) for f in feats]
    p = FeaturePipeline(feats, ["c"])
    p.run_research([[1.0], [2.0], [3.0]])
    # The pipeline keeps no reference to the objects it was built from.
    assert [sys.getrefcount(f) for f in feats] == refs
    shadow = [Ema(["c"], 2, ["e"]), Kama(["c"], 2, ["k"])]
    for f in shadow:
        f.update([5.0])
        f.update([6.0])
    assert [f.update([7.0]) for f in feats] == [f.update([7.0]) for f in shadow]


def test_targets_are_rebuilt_from_their_configuration():
    fr = FutureReturn(["c", "unused"], 2, ["f"])
    t = TargetPipeline([fr], ["unused", "c"])
    assert t.input_names() == ["unused", "c"] and t.output_names() == ["f"] and t.forward_period() == 2
    [col] = t.run_research([[9.0, 9.0, 9.0], [100.0, 50.0, 121.0]])
    assert same(col, [(121.0 - 100.0) / 100.0, nan, nan])
    assert repr(fr) == 'FutureReturn(inputs=["c", "unused"], horizon=2, outputs=["f"])'


# -- live and research mode -------------------------------------------------------------

ALL = closure(POOL)


def test_live_equals_research_on_real_data(spy):
    bars = ohlc_bars(spy)
    p = build(ALL)
    research = p.run_research(bars)
    assert len(research) == len(bars)
    assert all(len(r) == len(p.output_names()) for r in research)
    q = build(ALL)
    assert same_rows(live(q, bars), research)
    # After a reset the same pipeline replays the same values live.
    p.reset()
    assert same_rows(live(p, bars[:50]), research[:50])


def test_research_equals_every_transform_run_alone(spy):
    bars = ohlc_bars(spy)
    p = build(ALL)
    columns = dict(zip(OHLC, zip(*bars)))
    columns.update({k: v for k, v in by_name(p, p.run_research(bars)).items()})
    checked = 0
    for key in ALL:
        alone = POOL[key][0]()
        got = [alone.update([columns[n][t] for n in alone.input_names()]) for t in range(len(bars))]
        for i, name in enumerate(alone.output_names()):
            assert same([g[i] for g in got], list(columns[name])), name
            checked += 1
    assert checked == len(p.output_names()) == 15
    # Every column holds real values on real data: the comparison is not vacuous.
    assert all(sum(1 for v in columns[n] if not math.isnan(v)) > 1000 for n in p.output_names())


def test_order_follows_the_stages_not_the_list():
    forward = ["ret1", "ret1_z", "sma10"]
    p = build(forward)
    q = build(list(reversed(forward)))
    assert p.output_names() == ["ret1", "sma10", "ret1_z"]
    assert q.output_names() == ["sma10", "ret1", "ret1_z"]
    assert p.warm_up_period() == q.warm_up_period() == 19  # the largest, not the sum
    assert len(p) == len(q) == 3


@settings(max_examples=25, deadline=None)
@given(keys=st.lists(st.sampled_from(sorted(POOL)), min_size=1, max_size=6, unique=True), data=st.data())
def test_any_feature_set_in_any_order_agrees_live_and_by_name(spy_small, keys, data):
    keys = closure(keys)
    order = data.draw(st.permutations(keys))
    a, b = build(keys), build(order)
    research_a = a.run_research(spy_small)
    assert same_rows(live(b, spy_small), b.run_research(spy_small))
    # The array path, from any form into any form, over the data with gaps,
    # infinities and zeros: the same rows, and live updates carry on alike.
    rows = np.array(spy_small)
    spots = data.draw(st.lists(st.tuples(st.integers(0, len(rows) - 1), st.integers(0, rows.shape[1] - 1),
                                         st.sampled_from([math.nan, math.inf, -math.inf, 0.0, -0.0])), max_size=30))
    for t, j, v in spots:
        rows[t, j] = v
    forms = data.draw(st.sampled_from(TABLE_FORMS)), data.draw(st.sampled_from(TABLE_FORMS))
    expected = b.run_research(rows.tolist())
    after = [b.update(r) for r in spy_small[:30]]
    assert same_bits(run_into(b, rows, *forms), expected), forms
    assert same_rows([b.update(r) for r in spy_small[:30]], after)
    named_a, named_b = by_name(a, research_a), by_name(b, b.run_research(spy_small))
    assert named_a.keys() == named_b.keys()
    for name in named_a:
        assert same(named_a[name], named_b[name]), name
    assert a.warm_up_period() == b.warm_up_period()


def test_every_permutation_gives_the_same_values_per_name(spy_small):
    keys = ["gap", "sma10", "ema10", "neglog_pv", "pv"]
    reference = None
    for order in itertools.permutations(keys):
        p = build(order)
        named = by_name(p, p.run_research(spy_small))
        if reference is None:
            reference = named
        assert named.keys() == reference.keys()
        assert all(same(named[n], reference[n]) for n in named)


def test_research_starts_clean_and_leaves_state_after_the_last_bar():
    p = FeaturePipeline([Sma(["c"], 2, ["s"])], ["c"])
    p.update([1000.0])
    first = p.run_research([[1.0], [2.0], [4.0]])
    assert same_rows(first, [[nan], [1.5], [3.0]])
    assert same_rows(p.run_research([[1.0], [2.0], [4.0]]), first)
    assert p.update([6.0]) == [5.0]  # live continues after the last research bar
    assert p.run_research([]) == []
    assert math.isnan(p.update([6.0])[0])  # an empty dataset still resets


# -- NaN at the boundary and alignment with output_names ---------------------------------

def test_nan_reaches_the_features_as_missing_and_comes_back_canonical():
    p = FeaturePipeline([Sma(["c"], 1, ["s"]), Subtract(["c", "d"], ["diff"])], ["c", "d"])
    negative_nan = struct.unpack("<d", struct.pack("<Q", 0xFFF8000000000001))[0]
    out = p.update([negative_nan, 1.0])
    assert all(struct.pack("<d", v) == struct.pack("<Q", 0x7FF8000000000000) for v in out)
    assert p.update([math.inf, 1.0]) == [math.inf, math.inf]


def test_names_without_values_are_nan_in_their_own_position():
    # Sma produces one value for two names: "extra" gets none. An input column
    # of that name is shadowed by the transform's (absent) value.
    p = FeaturePipeline(
        [Sma(["c"], 1, ["a", "extra"]), Sma(["extra"], 1, ["b"]), Sma(["c"], 1, ["z"])], ["c", "extra"]
    )
    assert p.output_names() == ["a", "extra", "z", "b"]
    out = p.update([3.0, 7.0])
    assert len(out) == len(p.output_names())
    named = dict(zip(p.output_names(), out))
    assert named["a"] == 3.0 and named["z"] == 3.0
    assert math.isnan(named["extra"]) and math.isnan(named["b"])
    rows = p.run_research([[1.0, 2.0], [5.0, 6.0]])
    assert [len(r) for r in rows] == [4, 4] and [r[2] for r in rows] == [1.0, 5.0]


def test_target_columns_stay_under_their_names():
    t = TargetPipeline([FutureReturn(["c"], 1, ["fr", "fr_extra"]), FutureCTCVolatility("c", 2)], ["c"])
    assert t.output_names() == ["fr", "fr_extra", "c_future_ctc_vol_2"]
    fr, extra, vol = t.run_research([[1.0, 2.0, 4.0, 4.0]])
    assert same(fr, [1.0, 1.0, 0.0, nan])
    assert same(extra, [nan] * 4)
    assert same(vol, [0.0, math.log(2) / math.sqrt(2), nan, nan])


# -- failures and the state they leave ------------------------------------------------------

def test_a_wrong_bar_width_changes_nothing():
    p = FeaturePipeline([Sma(["c"], 2, ["s"])], ["c", "unused"])
    p.update([1.0, 0.0])
    for bad in ([1.0], [1.0, 2.0, 3.0], []):
        with pytest.raises(ValueError) as info:
            p.update(bad)
        assert str(info.value) == f'Invalid input: expected 2 input value(s) ["c", "unused"], got {len(bad)}'
    assert p.update([3.0, 0.0]) == [2.0]


def test_a_malformed_research_bar_leaves_the_state_after_the_last_good_bar():
    p = FeaturePipeline([Sma(["c"], 2, ["s"])], ["c"])
    with pytest.raises(ValueError, match=r'^Invalid input: expected 1 input value\(s\) \["c"\], got 2$'):
        p.run_research([[1.0], [3.0], [5.0, 5.0], [100.0]])
    assert p.update([7.0]) == [5.0]


@pytest.mark.parametrize("enabled", [True, False])
@pytest.mark.parametrize("data", [[[1.0], [2.0], [4.0]], [[1.0], [2.0, 0.0]]], ids=["ok", "failing"])
def test_research_leaves_the_collector_as_it_found_it(enabled, data):
    p = FeaturePipeline([Sma(["c"], 2, ["s"])], ["c"])
    was = gc.isenabled()
    (gc.enable if enabled else gc.disable)()
    try:
        try:
            rows = p.run_research(data)
        except ValueError:
            rows = None
        assert gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
    if rows is not None:
        # The rows are ordinary tracked lists: a cycle a caller builds
        # through one is still found by the collector.
        assert gc.is_tracked(rows) and all(gc.is_tracked(r) for r in rows)
        rows[0].append(rows)
        del rows
        assert gc.collect() >= 2


@pytest.mark.parametrize(
    "data, message",
    [
        ([[1.0], ["x"]], "argument 'data': must be real number, not str"),
        ([[1.0], 2.0], "argument 'data': 'float' object cannot be converted to 'Sequence'"),
        ("ab", "argument 'data': Can't extract `str` to `Vec`"),
        ([[1.0], "2"], "argument 'data': Can't extract `str` to `Vec`"),
    ],
)
def test_a_dataset_that_cannot_be_converted_changes_nothing(data, message):
    p = FeaturePipeline([Sma(["c"], 2, ["s"])], ["c"])
    p.update([1.0])
    with pytest.raises(TypeError) as info:
        p.run_research(data)
    assert str(info.value) == message
    # No reset happened: the live state goes on from the bar before.
    assert p.update([3.0]) == [2.0]


def test_target_pipeline_column_count_and_conversion_errors():
    t = TargetPipeline([FutureLinearSlope(["x", "y"], 2, ["s", "r"])], ["x", "y"])
    with pytest.raises(ValueError) as info:
        t.run_research([[1.0, 2.0]])
    assert str(info.value) == 'Invalid input: expected 2 input column(s) ["x", "y"], got 1'
    with pytest.raises(TypeError, match=r"^argument 'data': must be real number, not NoneType$"):
        t.run_research([[1.0], [None]])
    slope, r2 = t.run_research([[0.0, 1.0, 2.0, 3.0], [1.0, 3.0, 5.0, 7.0]])
    assert same(slope, [2.0, 2.0, 2.0, nan]) and same(r2, [1.0, 1.0, 1.0, nan])


MANY_COLUMNS = """
import _vexal
names = [f"c{i}" for i in range(300_000)]
p = _vexal.FeaturePipeline([_vexal.Subtract(names[-2:], ["d"]), _vexal.Sma(names[::-1], 2, ["s"])], names)
t = _vexal.TargetPipeline([_vexal.FutureReturn(names[::-1], 1, ["r"])], names)
print(len(p.input_names()), p.output_names(), t.output_names())
"""


def test_construction_is_linear_in_the_number_of_input_columns():
    # Looking every name up in a list made this about 150 s; a hash lookup
    # takes about a second, far inside the budget even under the sanitizers.
    import sys

    out = subprocess.run([sys.executable, "-c", MANY_COLUMNS], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "300000 ['d', 's'] ['r']"


def test_wide_bars_beyond_the_inline_room_are_routed_correctly():
    names = [f"c{i}" for i in range(40)]
    p = FeaturePipeline([Sma([n], 1, [n + "_s"]) for n in reversed(names)], names)
    values = [float(i) * 1.5 for i in range(40)]
    assert p.update(values) == list(reversed(values))
    assert p.run_research([values, values[::-1]])[1] == values


# -- borrows --------------------------------------------------------------------------------

class Calls:
    """A number whose conversion runs `action` first."""

    def __init__(self, action, value=1.0):
        self.action, self.value = action, value

    def __float__(self):
        self.action()
        return self.value


@pytest.mark.parametrize(
    "inner, message",
    [
        (lambda p: p.update([1.0]), "Already borrowed"),
        (lambda p: p.run_research([[1.0]]), "Already borrowed"),
        (lambda p: p.reset(), "Already borrowed"),
        (lambda p: p.output_names(), "Already mutably borrowed"),
        (lambda p: p.input_names(), "Already mutably borrowed"),
        (lambda p: p.warm_up_period(), "Already mutably borrowed"),
        (lambda p: len(p), "Already mutably borrowed"),
    ],
)
@pytest.mark.parametrize("outer", ["update", "run_research"])
def test_reentrant_calls_into_a_busy_feature_pipeline_are_refused(inner, message, outer):
    p = FeaturePipeline([Sma(["c"], 2, ["s"])], ["c"])
    p.update([1.0])
    bad = Calls(lambda: inner(p))
    with pytest.raises(RuntimeError) as info:
        p.update([bad]) if outer == "update" else p.run_research([[2.0], [bad]])
    assert str(info.value) == message
    # Neither call reached the core, and the borrow was released.
    assert p.update([3.0]) == [2.0]


def test_a_feature_busy_in_its_own_update_cannot_be_copied():
    s = Sma(["c"], 2, ["s"])
    built = []
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        s.update([Calls(lambda: built.append(FeaturePipeline([s], ["c"])))])
    assert built == []
    assert len(FeaturePipeline([s], ["c"])) == 1


def test_a_target_pipeline_shares_itself_with_reentrant_calls():
    t = TargetPipeline([FutureReturn(["c"], 1, ["f"])], ["c"])
    seen = []
    col = t.run_research([[1.0, Calls(lambda: seen.append((t.run_research([[1.0, 2.0]]), len(t))), 2.0), 3.0]])
    [(inner, length)] = seen
    assert length == 1 and same(inner[0], [1.0, nan])
    assert same(col[0], [1.0, 0.5, nan])


# -- reference counts and memory -------------------------------------------------------------

def _run(call):
    try:
        call()
    except BaseException:  # noqa: B036 - every failure is part of the loop
        pass


def test_references_and_memory_stay_flat(spy_small):
    p = build(ALL)
    t = TargetPipeline([FutureReturn(["close"], 3, ["fr"]), FutureLinearSlope(["open", "close"], 4, ["s", "r"])],
                       OHLC)
    bar = spy_small[10]
    bars = spy_small[:30]
    columns = [list(c) for c in zip(*bars)]
    user = Sma(["close"], 2, ["s"])
    calls = [
        lambda: p.update(bar), lambda: p.run_research(bars), lambda: p.output_names(), lambda: p.input_names(),
        lambda: p.warm_up_period(), lambda: len(p), lambda: p.reset(), lambda: p.update([1.0]),
        lambda: p.update("x"), lambda: p.run_research([bar, ["x"]]), lambda: p.update(values=[1.0], x=1),
        lambda: t.run_research(columns), lambda: t.output_names(), lambda: t.forward_period(), lambda: len(t),
        lambda: t.run_research(columns[:1]), lambda: FeaturePipeline([user], ["close"]),
        lambda: FeaturePipeline([user, 3], ["close"]), lambda: FeaturePipeline([user, user], ["close"]),
        lambda: TargetPipeline([user], ["close"]), lambda: TargetPipeline([FutureReturn(["x"], 1, ["f"])], ["c"]),
    ]
    counted = [bar, bars, columns, user, p, t]
    for _ in range(50):
        for call in calls:
            _run(call)
    gc.collect()
    refs = [sys.getrefcount(o) for o in counted]
    tracemalloc.start()
    start_objects = len(gc.get_objects())
    start, _ = tracemalloc.get_traced_memory()
    for _ in range(300):
        for call in calls:
            _run(call)
    gc.collect()
    end, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    assert [sys.getrefcount(o) for o in counted] == refs
    assert len(gc.get_objects()) - start_objects < 50
    assert end - start < 20_000


COUNTING_NEW = r"""
#include <atomic>
#include <cstdlib>
#include <new>
static std::atomic<long> calls{0};
extern "C" long new_calls() { return calls.load(); }
void* operator new(std::size_t n) {
  ++calls;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
"""

COUNT_LIVE_BARS = """
import ctypes, sys
from vexal import FeaturePipeline, LinearSlope, RogersSatchellVolatility, RollingZScore, Sma
counter = ctypes.CDLL(sys.argv[1])
p = FeaturePipeline([RollingZScore(["s"], 5, ["z"]), Sma(["close"], 20, ["s"]),
                     LinearSlope(["open", "close"], 10, ["a", "b"]),
                     RogersSatchellVolatility(["high", "low", "open", "close"], 10, ["rs"])],
                    ["open", "high", "low", "close"])
bar = [1.0, 2.0, 0.5, 1.5]
for _ in range(100):
    p.update(bar)
before = counter.new_calls()
for _ in range(5000):
    p.update(bar)
    p.peek(bar)
print(counter.new_calls() - before)
"""


def test_a_live_bar_allocates_nothing_in_native_code(tmp_path):
    # Neither an update nor a peek. The native code allocates through operator new; Python objects (the
    # result list) through the interpreter's allocator, which is not counted.
    compiler = shutil.which("g++") or shutil.which("c++")
    if compiler is None:
        pytest.skip("no C++ compiler to build the allocation counter")
    source, library = tmp_path / "count.cpp", tmp_path / "libcount.so"
    source.write_text(COUNTING_NEW)
    subprocess.run([compiler, "-O2", "-shared", "-fPIC", str(source), "-o", str(library)], check=True)
    env = dict(os.environ, LD_PRELOAD=str(library))
    out = subprocess.run([sys.executable, "-c", COUNT_LIVE_BARS, str(library)], env=env, capture_output=True,
                         text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "0"


def _continue_in_worker(pipeline, bars):
    return [pipeline.update(b) for b in bars], pipeline.snapshot()


def test_a_pipeline_sent_to_worker_processes_continues_there_bit_for_bit():
    from concurrent.futures import ProcessPoolExecutor
    import multiprocessing

    bars = [[100.0 + math.sin(i) * 3, 101.0 + math.cos(i)] for i in range(60)]
    bars[25][0] = math.nan
    pipeline = FeaturePipeline([Ema(["a"], 5, ["e"]), Kama(["b"], 4, ["k"]), LinearSlope(["a", "b"], 6, ["s", "r"])],
                               ["a", "b"])
    for b in bars[:30]:
        pipeline.update(b)
    with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        remote, remote_snapshot = pool.submit(_continue_in_worker, pipeline, bars[30:]).result()
        copies = list(pool.map(pickle.loads, [pickle.dumps(pipeline, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)]))
    local = [pipeline.update(b) for b in bars[30:]]
    assert [struct.pack(f"<{len(r)}d", *r) for r in remote] == [struct.pack(f"<{len(r)}d", *r) for r in local]
    assert remote_snapshot == pipeline.snapshot()
    assert all(type(c) is FeaturePipeline and c.output_names() == pipeline.output_names() for c in copies)
