"""Every constructor, method and the module function called with arbitrary
Python objects: wrong types, nested sequences, buffers of every layout,
objects whose __len__, __iter__, __getitem__, __float__ or __index__ raise
or call back into the object under test, huge ints, str subclasses, bytes,
generators and surrogate strings.

The only outcomes allowed are a result or TypeError, ValueError,
OverflowError, RuntimeError, UnicodeEncodeError or PanicException: never
a crash, a SystemError, a leaked reference on an argument, or an object
that afterwards computes anything other than what an untouched twin does.
"""

import array
import gc
import math
import struct
import sys
import zlib

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import _vexal
from numpy_reference import same_bits
from transform_faces import BAR_WIDTH, TRANSFORM_FACES

pytestmark = pytest.mark.native


def _panic_type():
    try:
        _vexal.Sma(["c"], 1, ["s"]).update([])
    except BaseException as exc:  # noqa: B036
        return type(exc)


PANIC = _panic_type()
ALLOWED = (TypeError, ValueError, OverflowError, RuntimeError, UnicodeEncodeError, PANIC)
nan = math.nan


class Hostile(ValueError):
    """What the hostile objects raise (an allowed outcome when it escapes)."""


# -- the object under test, reachable from hostile callbacks ---------------------------------

class Context:
    target = None       # the object under test
    mutated = False     # a callback changed it successfully
    probe = None        # a valid call on the target: (method name, args)


CTX = Context()


def call_back(propagate):
    """Calls a method of the object under test from inside a conversion."""
    target = CTX.target
    if target is None or CTX.probe is None:
        return
    name, args = CTX.probe
    try:
        getattr(target, name)(*args)
        if name in MUTATING:
            CTX.mutated = True
    except ALLOWED:
        if propagate:
            raise


MUTATING = {"update", "reset", "run_research"}


class Number:
    """A number whose conversion misbehaves in the chosen way."""

    def __init__(self, how, value=1.5):
        self.how, self.value = how, value

    def _convert(self, kind):
        how = self.how
        if how == "raise":
            raise Hostile("no number")
        if how == "type":
            raise TypeError("not today")
        if how == "wrong":
            return "1.0"
        if how == "callback":
            call_back(propagate=False)
        if how == "callback-raise":
            call_back(propagate=True)
        if how == "huge":
            return 10**400 if kind is int else 1e308
        return kind(self.value)

    def __float__(self):
        return self._convert(float)

    def __index__(self):
        return self._convert(int)


class Sequence:
    """A sequence whose protocol misbehaves in the chosen way."""

    def __init__(self, how, items):
        self.how, self.items = how, list(items)

    def __len__(self):
        if self.how == "len-raise":
            raise Hostile("no length")
        if self.how == "len-negative":
            return -1
        if self.how == "len-huge":
            return 2**62
        if self.how == "len-overflow":
            return 2**100
        if self.how == "len-callback":
            call_back(propagate=False)
        return len(self.items)

    def __getitem__(self, i):
        if self.how == "getitem-raise":
            raise Hostile("no item")
        if self.how == "getitem-callback":
            call_back(propagate=True)
        return self.items[i]


class IterSequence(Sequence):
    def __iter__(self):
        if self.how == "iter-raise":
            raise Hostile("no iterator")
        if self.how == "iter-not-iterator":
            return 5
        return self._gen()

    def _gen(self):
        for i, item in enumerate(self.items):
            if self.how == "iter-raise-midway" and i == 1:
                raise Hostile("stopped")
            if self.how == "iter-callback":
                call_back(propagate=False)
            yield item


class ShrinkingList(list):
    """A list subclass whose elements empty it while they convert."""


# The lists that an Emptier clears, held here rather than by the Emptier:
# a reference cycle through the element would make the list lose a
# reference when the element goes, which is no fault of the call.
_OWNERS: dict[int, list] = {}


class Emptier:
    def __init__(self, owner):
        _OWNERS[id(self)] = owner

    def __float__(self):
        _OWNERS[id(self)].clear()
        return 2.0


class Name(str):
    pass


class LyingList(list):
    def __len__(self):
        return 10**6


# -- strategies ------------------------------------------------------------------------------

floats = st.one_of(st.floats(allow_nan=True, allow_infinity=True), st.sampled_from([nan, math.inf, -0.0, 1e308]))
ints = st.one_of(st.integers(-5, 40), st.sampled_from([2**63, 2**64 - 1, 2**64, -(2**63), 2**1000, -1]))
texts = st.one_of(
    st.text(max_size=6),
    st.sampled_from(["\ud800", "a\udfffb", "close", "", "x\x00y", "\u0301", "é"]),
)
HOW_NUMBER = ["raise", "type", "wrong", "callback", "callback-raise", "huge", "ok"]
HOW_SEQ = ["len-raise", "len-negative", "len-huge", "len-overflow", "len-callback", "getitem-raise",
           "getitem-callback", "ok"]
HOW_ITER = HOW_SEQ + ["iter-raise", "iter-not-iterator", "iter-raise-midway", "iter-callback"]


def _float32(values):
    with np.errstate(all="ignore"):
        return np.array(values, dtype=np.float32)


def numpy_arrays():
    values = st.lists(floats, max_size=6)
    return st.one_of(
        values.map(lambda v: np.array(v, dtype=np.float64)),
        values.map(lambda v: np.array(v, dtype=">f8")),
        values.map(_float32),
        values.map(lambda v: np.array(v, dtype=np.float64)[::2]),
        values.map(lambda v: np.array(v, dtype=object)),
        st.lists(st.integers(-3, 3), max_size=6).map(lambda v: np.array(v, dtype=np.int64)),
        st.lists(st.lists(floats, min_size=2, max_size=2), max_size=4).map(
            lambda v: np.array(v, dtype=np.float64).reshape(-1, 2)),
        st.lists(st.lists(floats, min_size=3, max_size=3), max_size=4).map(
            lambda v: np.asfortranarray(np.array(v, dtype=np.float64).reshape(-1, 3))),
        st.just(np.zeros((2, 0))),
        st.just(np.float64(2.5)),
        st.just(np.array(3.0)),
        st.just(np.ma.masked_array([1.0, 2.0], mask=[False, True])),
        values.map(lambda v: memoryview(np.array(v, dtype=np.float64))),
        values.map(lambda v: memoryview(np.array(v, dtype=np.float64).tobytes())),
        values.map(lambda v: array.array("d", v)),
        st.lists(st.integers(-9, 9), max_size=5).map(lambda v: array.array("q", v)),
    )


def leaves():
    return st.one_of(
        floats, ints, st.booleans(), texts, texts.map(Name), st.binary(max_size=4),
        st.binary(max_size=4).map(bytearray), st.none(), st.just(Ellipsis), st.just(object()),
        st.complex_numbers(max_magnitude=10), st.sampled_from(HOW_NUMBER).map(Number),
        st.builds(lambda: (x for x in [1.0, 2.0])), st.just(range(3)), st.just(range(0)),
        st.just(float), st.just(print), st.just(_vexal.Sma), numpy_arrays(),
        st.dictionaries(texts, floats, max_size=2), st.frozensets(st.integers(0, 3), max_size=3),
    )


def containers(children):
    return st.one_of(
        st.lists(children, max_size=5),
        st.lists(children, max_size=5).map(tuple),
        st.tuples(st.sampled_from(HOW_SEQ), st.lists(children, max_size=4)).map(lambda a: Sequence(*a)),
        st.tuples(st.sampled_from(HOW_ITER), st.lists(children, max_size=4)).map(lambda a: IterSequence(*a)),
        st.lists(children, max_size=4).map(LyingList),
        st.lists(floats, max_size=3).map(_shrinking),
    )


def _shrinking(values):
    owner = ShrinkingList(values)
    owner.insert(len(owner) // 2, Emptier(owner))
    return owner


def _shrinking_plain(values):
    owner = list(values)
    owner.insert(len(owner) // 2, Emptier(owner))
    return owner


anything = st.recursive(leaves(), containers, max_leaves=12)
# Values shaped like what is expected, with the odd bad element.
float_lists = st.one_of(
    st.lists(st.one_of(floats, floats, floats, st.sampled_from(HOW_NUMBER).map(Number), ints), max_size=6),
    st.lists(floats, max_size=4).map(_shrinking_plain),
    numpy_arrays(),
)
name_lists = st.lists(st.one_of(texts, texts, texts.map(Name), ints, st.binary(max_size=2)), max_size=4)


def argument(params):
    """One argument for one of the callable's parameters."""
    return st.one_of(anything, float_lists, name_lists, st.lists(float_lists, max_size=4), ints, floats, texts)


# -- the classes under test --------------------------------------------------------------------

def transform_sample(name):
    return TRANSFORM_FACES[name][2]


SAMPLES = {name: transform_sample(name) for name in TRANSFORM_FACES}
SAMPLES.update({
    "FutureReturn": (["close"], 2, ["fr"]),
    "FutureCTCVolatility": ("close", 3),
    "FutureLinearSlope": (["x", "y"], 3, ["s", "r"]),
})
FEATURE_FACTORY = {
    "FeaturePipeline": lambda: ([_vexal.Sma(["close"], 3, ["s"]), _vexal.RollingZScore(["s"], 3, ["z"]),
                                 _vexal.LinearSlope(["open", "close"], 3, ["a", "b"])], ["open", "close"]),
    "TargetPipeline": lambda: ([_vexal.FutureReturn(["close"], 1, ["f"]),
                                _vexal.FutureLinearSlope(["open", "close"], 3, ["a", "b"])], ["open", "close"]),
}


def params_of(cls):
    return [p.split("=")[0] for p in cls.__text_signature__.strip("()").split(", ")]


def methods_of(name):
    if name in TRANSFORM_FACES:
        return ["update", "peek", "reset", "input_names", "output_names", "warm_up_period", "snapshot", "__repr__"]
    if name == "FeaturePipeline":
        return ["update", "peek", "run_research", "reset", "output_names", "input_names", "warm_up_period",
                "snapshot", "__len__", "__repr__"]
    if name == "TargetPipeline":
        return ["run_research", "output_names", "input_names", "forward_period", "snapshot", "__len__", "__repr__"]
    return ["input_names", "output_names", "forward_period", "snapshot", "__repr__"]


def build(name):
    cls = getattr(_vexal, name)
    if name in FEATURE_FACTORY:
        return cls(*FEATURE_FACTORY[name]())
    return cls(*SAMPLES[name])


def probe_bars(name, width):
    rng = np.random.default_rng(len(name))
    closes = 50 + np.cumsum(rng.normal(0, 1, 12))
    rows = [[c + 2.0, c - 1.0, c + 0.5, c][:width] if width <= 4 else [c] * width for c in closes.tolist()]
    if width == 2:
        rows = [[c + 1.0, c] for c in closes.tolist()]
    rows[5][0] = nan
    return rows


def width_of(name, obj):
    if name in TRANSFORM_FACES:
        return max(BAR_WIDTH.get(name, 1), 1)
    return len(obj.input_names())


def valid_probe(name, obj):
    """A valid mutating call on the object, for callbacks to make."""
    if name in TRANSFORM_FACES:
        return "update", ([1.0] * width_of(name, obj),)
    if name == "FeaturePipeline":
        return "update", ([1.0, 2.0],)
    if name == "TargetPipeline":
        return "run_research", ([[1.0, 2.0, 3.0], [2.0, 1.0, 3.0]],)
    return "__repr__", ()


def observe(name, obj):
    """Everything an object shows, for comparison with its twin."""
    seen = [repr(obj) if name not in FEATURE_FACTORY else None]
    for method in methods_of(name):
        if method in ("input_names", "output_names", "warm_up_period", "forward_period"):
            seen.append(getattr(obj, method)())
        if method == "__len__":
            seen.append(len(obj))
    # The complete state: a failed call or a peek leaves it to the byte.
    seen.append(obj.snapshot())
    return seen


def outputs(name, obj):
    """What the object computes on a fixed probe from a clean state."""
    if name in TRANSFORM_FACES:
        obj.reset()
        return [obj.update(bar) for bar in probe_bars(name, width_of(name, obj))]
    if name == "FeaturePipeline":
        return obj.run_research(probe_bars(name, 2))
    if name == "TargetPipeline":
        bars = probe_bars(name, 2)
        return obj.run_research([[b[0] for b in bars], [b[1] for b in bars]])
    return []


def same_outputs(a, b):
    return len(a) == len(b) and all(same_bits(x, y) for x, y in zip(a, b))


def watched_references(objects):
    """The arguments and the tuples' items: nothing may keep a reference to
    them. Objects the interpreter shares widely (small ints, None, types,
    interned strings) change their counts on their own and are left out."""
    out = []
    for o in objects:
        out.append(o)
        if type(o) is tuple:
            out.extend(o)
    return [o for o in out if sys.getrefcount(o) < 100]


def checked_call(fn, args, kwargs):
    """Calls fn and returns the exception type (None on success), checking
    the outcome kind and that no argument gained or lost a reference."""
    watched = watched_references(list(args) + list(kwargs.values()))
    before = [sys.getrefcount(o) for o in watched]
    outcome = None
    try:
        result = fn(*args, **kwargs)
        del result
    except ALLOWED as exc:
        outcome = type(exc)
        del exc
    except BaseException as exc:  # noqa: B036 - reported as the failure it is
        pytest.fail(f"{type(exc).__name__}: {exc}")
    after = [sys.getrefcount(o) for o in watched]
    if after != before:
        gc.collect()
        after = [sys.getrefcount(o) for o in watched]
    assert after == before, [(type(o).__name__, a - b) for o, a, b in zip(watched, after, before) if a != b]
    return outcome


@st.composite
def calls(draw, name):
    """(kind, method, args, kwargs): a constructor or method call."""
    cls = getattr(_vexal, name) if name != "fit_standard_scaler" else None
    if cls is None:
        params = ["data"]
        kind = "function"
        method = None
    else:
        kind = draw(st.sampled_from(["new", "method", "method"]))
        params = params_of(cls) if kind == "new" else []
        method = None
        if kind == "method":
            method = draw(st.sampled_from(methods_of(name)))
            params = {"update": ["values"], "peek": ["values"], "run_research": ["data"]}.get(method, [])
    # Start from a valid call and spoil some of it.
    if kind == "new" and name in FEATURE_FACTORY:
        valid = list(FEATURE_FACTORY[name]())
    elif kind == "new":
        valid = list(SAMPLES[name])
    else:
        valid = [[1.0, 2.0, 3.0, 4.0]] if params else []
    args = list(valid)
    if kind == "new" and len(params) > len(args) and draw(st.booleans()):
        args += [2, 30][: len(params) - len(args)]  # Kama's fast and slow, spelled out
    for i in range(len(args)):
        if draw(st.booleans()):
            args[i] = draw(argument(params))
    if name in FEATURE_FACTORY and kind == "new" and draw(st.booleans()):
        # A feature list mixing real objects with anything.
        args[0] = draw(st.lists(st.one_of(st.sampled_from(list(FEATURE_FACTORY[name]()[0])), anything,
                                          st.sampled_from([_vexal.Sma(["x"], 2, ["y"]),
                                                           _vexal.FutureReturn(["x"], 1, ["r"])])),
                                max_size=4))
    shape = draw(st.sampled_from(["positional", "keywords", "fewer", "more", "bad keyword"]))
    kwargs = {}
    if shape == "keywords" and args:
        names = list(params) + ["nope", "\ud800"]
        chosen = draw(st.lists(st.sampled_from(range(len(args))), unique=True, max_size=len(args)))
        for i in chosen:
            kwargs[names[i] if draw(st.integers(0, 4)) else draw(st.sampled_from(names))] = args[i]
        args = [a for i, a in enumerate(args) if i not in chosen][: min(chosen) if chosen else None]
    elif shape == "fewer" and args:
        args = args[: draw(st.integers(0, len(args) - 1))]
    elif shape == "more":
        args = args + draw(st.lists(anything, min_size=1, max_size=2))
    elif shape == "bad keyword":
        kwargs[draw(texts)] = draw(anything)
    return kind, method, args, kwargs


ALL_NAMES = list(_vexal.__all__)


def resync(name, obj, twin):
    """After a successful change of unknown content, both start again."""
    if name in TRANSFORM_FACES or name == "FeaturePipeline":
        obj.reset()
        twin.reset()


@pytest.mark.parametrize("name", ALL_NAMES)
@given(data=st.data())
def test_arbitrary_arguments_raise_only_allowed_errors_and_corrupt_nothing(name, data, fuzz_cases):
    if name == "fit_standard_scaler":
        for _ in range(data.draw(st.integers(1, 6))):
            _, _, args, kwargs = data.draw(calls(name))
            checked_call(_vexal.fit_standard_scaler, args, kwargs)
            fuzz_cases[name] += 1
        return
    cls = getattr(_vexal, name)
    obj, twin = build(name), build(name)
    if name in TRANSFORM_FACES or name == "FeaturePipeline":
        for bar in probe_bars(name, width_of(name, obj))[:4]:
            obj.update(bar)
            twin.update(bar)
    CTX.target, CTX.probe = obj, valid_probe(name, obj)
    try:
        for _ in range(data.draw(st.integers(1, 8))):
            kind, method, args, kwargs = data.draw(calls(name))
            CTX.mutated = False
            if kind == "new":
                outcome = checked_call(cls, args, kwargs)
            elif method == "__repr__":
                outcome = checked_call(repr, [obj] + args, kwargs)
            elif method == "__len__":
                outcome = checked_call(len, [obj] + args, kwargs)
            else:
                outcome = checked_call(getattr(obj, method), args, kwargs)
            fuzz_cases[name] += 1
            changed = kind == "method" and method in MUTATING and (
                outcome is None or (name == "FeaturePipeline" and method == "run_research" and outcome is ValueError))
            if changed or CTX.mutated:
                resync(name, obj, twin)
            # A failed call left nothing behind: the object shows and holds
            # exactly what its twin does.
            assert observe(name, obj) == observe(name, twin)
            if name in TRANSFORM_FACES or name == "FeaturePipeline":
                bar = probe_bars(name, width_of(name, obj))[6]
                assert same_bits(obj.update(bar), twin.update(bar))
    finally:
        CTX.target = CTX.probe = None
    assert same_outputs(outputs(name, obj), outputs(name, build(name)))
    assert same_outputs(outputs(name, twin), outputs(name, build(name)))


SNAPSHOT_NAMES = [n for n in ALL_NAMES if n != "fit_standard_scaler"]


def warmed(name):
    obj = build(name)
    if name in TRANSFORM_FACES or name == "FeaturePipeline":
        for bar in probe_bars(name, width_of(name, obj))[:9]:
            obj.update(bar)
    return obj


def resealed(data):
    """The bytes with a checksum that fits them, so the fields get parsed."""
    return data[:-4] + struct.pack("<I", zlib.crc32(data[:-4])) if len(data) >= 4 else data


@pytest.mark.parametrize("name", SNAPSHOT_NAMES)
@given(data=st.data())
def test_corrupted_snapshots_raise_only_value_error(name, data, fuzz_cases):
    good = warmed(name).snapshot()
    other = warmed(data.draw(st.sampled_from(SNAPSHOT_NAMES))).snapshot()
    kind = data.draw(st.sampled_from(["truncate", "flip", "splice", "byte", "insert"]))
    if kind == "truncate":
        bad = good[:data.draw(st.integers(0, len(good) - 1))]
    elif kind == "flip":
        i = data.draw(st.integers(0, len(good) - 1))
        bad = good[:i] + bytes([good[i] ^ (1 << data.draw(st.integers(0, 7)))]) + good[i + 1:]
    elif kind == "splice":
        bad = good[:data.draw(st.integers(0, len(good)))] + other[data.draw(st.integers(0, len(other))):]
    elif kind == "byte":
        i = data.draw(st.integers(10, len(good) - 5))
        bad = good[:i] + bytes([data.draw(st.integers(0, 255))]) + good[i + 1:]
    else:
        i = data.draw(st.integers(10, len(good) - 4))
        bad = good[:i] + data.draw(st.binary(min_size=1, max_size=9)) + good[i:]
    if data.draw(st.booleans()):
        bad = resealed(bad)
    for load in (getattr(_vexal, name).from_snapshot, _vexal.load):
        try:
            obj = load(bad)
        except ValueError as exc:
            assert str(exc).startswith("Invalid input: snapshot: "), str(exc)
        else:
            # Whatever loads is a working object of its class.
            assert type(obj).from_snapshot(obj.snapshot()).snapshot() == obj.snapshot()
            repr(obj)
        fuzz_cases[name] += 1


# -- a few hostile shapes that must each give one precise outcome ----------------------------

@pytest.mark.filterwarnings("ignore:Warning. converting a masked element")
@pytest.mark.parametrize("values, outcome", [
    (_shrinking_plain([1.0, 2.0, 3.0]), None),
    (Sequence("len-raise", [1.0]), None),
    (Sequence("len-huge", [1.0]), None),
    (Sequence("len-overflow", [1.0]), None),
    (IterSequence("iter-not-iterator", [1.0]), TypeError),
    (IterSequence("iter-raise-midway", [1.0, 2.0]), Hostile),
    ([Number("wrong")], TypeError),
    ([Number("huge")], None),
    ([10**400], OverflowError),
    (np.ma.masked_array([4.0], mask=[True]), None),
])
def test_hostile_sequences_fail_or_succeed_exactly_once(values, outcome):
    s = _vexal.Sma(["c"], 1, ["s"])
    if outcome is None:
        assert len(s.update(values)) == 1
    else:
        with pytest.raises(outcome):
            s.update(values)
    assert s.update([5.0]) == [5.0]


def test_an_element_that_empties_its_list_stops_the_conversion_cleanly():
    owner = [1.0, None, 3.0]
    owner[1] = Emptier(owner)
    s = _vexal.Subtract(["a", "b"], ["d"])
    # The list is empty by the time the third element would be read: two
    # values were converted, which is exactly what Subtract reads.
    assert s.update(owner) == [-1.0]
    assert owner == []


@pytest.mark.filterwarnings("ignore:Warning. converting a masked element")
def test_a_masked_array_is_read_as_it_iterates():
    # Iterating a masked array yields the mask, not the buffer underneath.
    s = _vexal.Sma(["c"], 1, ["s"])
    assert math.isnan(s.update(np.ma.masked_array([4.0], mask=[True]))[0])


# -- windows too large to reserve -------------------------------------------------------------

WINDOWED = [name for name in TRANSFORM_FACES if "window" in params_of(getattr(_vexal, name))]


@pytest.mark.parametrize("window", [2**40, 2**59, 2**60 + 1, 2**63, 2**64 // 16 + 1, 2**64 - 2, 2**64 - 1])
@pytest.mark.parametrize("name", WINDOWED)
def test_a_window_too_large_to_reserve_is_refused_in_an_orderly_way(name, window):
    # The reservation fails (or its size overflows) and the constructor
    # reports it like any other bad configuration; the class stays usable.
    cls = getattr(_vexal, name)
    args = list(SAMPLES[name])
    # Where the window is an option with a default (Supertrend), it is passed by position all the same.
    at = params_of(cls).index("window")
    args[at:at + 1] = [window]
    with pytest.raises(ValueError) as info:
        cls(*args)
    assert str(info.value) == "Invalid input: window is too large"
    assert cls(*SAMPLES[name]).warm_up_period() >= 0
