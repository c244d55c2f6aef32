"""Many threads calling every method, on objects of their own and on
shared ones. Calls into the module never release the interpreter lock, so
two calls overlap only where a conversion runs Python code (a __float__
written in Python) and the interpreter switches threads inside it. Such an
overlap must be refused with RuntimeError and leave the object as if the
refused call had not been made; everything else must simply work."""

import math
import sys
import threading
import time

import numpy as np
import pytest

import _vexal
from numpy_reference import same_bits
from transform_faces import BAR_WIDTH, TRANSFORM_FACES

pytestmark = [pytest.mark.native, pytest.mark.serial]

THREADS = 8
nan = math.nan
CONFLICTS = {"Already borrowed", "Already mutably borrowed"}


@pytest.fixture(autouse=True)
def rapid_switching():
    """Makes the interpreter switch threads as often as it can."""
    previous = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(previous)


def run_threads(target, count=THREADS):
    errors = []
    start = threading.Barrier(count)

    def body(i):
        try:
            start.wait()
            target(i)
        except BaseException as exc:  # noqa: B036 - reported below
            errors.append(exc)

    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert not any(t.is_alive() for t in threads), "a thread hung"
    if errors:
        raise errors[0]


def make(name, **override):
    cls = getattr(_vexal, name)
    return cls(*TRANSFORM_FACES[name][2])


def bars(name, n, seed):
    width = BAR_WIDTH.get(name, 1)
    rng = np.random.default_rng(seed)
    closes = (50 + np.cumsum(rng.normal(0, 1, n))).tolist()
    rows = [[c + 2.0, c - 1.0, c + 0.5, c][:width] if width > 2 else [c + 1.0, c][:width] for c in closes]
    for t in range(7, n, 37):
        rows[t][0] = nan
    return rows


class Slow:
    """A number whose conversion runs Python code, so that the interpreter
    can hand the lock to another thread in the middle of a call."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        time.sleep(0)
        for _ in range(20):
            pass
        return self.value


# -- no sharing ----------------------------------------------------------------------------

def test_threads_with_objects_of_their_own_compute_what_one_thread_does():
    names = list(TRANSFORM_FACES)
    expected = {}
    for name in names:
        obj = make(name)
        expected[name] = [obj.update(b) for b in bars(name, 300, 1)]

    def work(i):
        for round_ in range(3):
            for name in names[i % 3::2]:
                obj = make(name)
                got = [obj.update(b) for b in bars(name, 300, 1)]
                assert all(same_bits(a, e) for a, e in zip(got, expected[name])), name
                assert obj.input_names() == make(name).input_names()
                assert repr(obj) == repr(make(name))
                obj.reset()
                assert obj.warm_up_period() == make(name).warm_up_period()

    run_threads(work)


def test_threads_building_and_running_their_own_pipelines_agree():
    features = [make(name) for name in ("Sma", "Ema", "Kama", "Skewness")]
    data = [[b[0]] for b in bars("Sma", 400, 3)]
    expected = _vexal.FeaturePipeline(features, ["close"]).run_research(data)
    closes = [row[0] for row in data]
    targets = [_vexal.FutureReturn(["close"], 3, ["fr"]), _vexal.FutureCTCVolatility("close", 5)]
    labels = _vexal.TargetPipeline(targets, ["close"]).run_research([closes])

    def work(i):
        for _ in range(5):
            p = _vexal.FeaturePipeline(features, ["close"])
            got = [p.update(row) for row in data] if i % 2 else p.run_research(data)
            assert all(same_bits(a, e) for a, e in zip(got, expected))
            t = _vexal.TargetPipeline(targets, ["close"])
            assert all(same_bits(a, e) for a, e in zip(t.run_research([closes]), labels))

    run_threads(work)


# -- sharing plain values ------------------------------------------------------------------------
# Plain floats run no Python code during a call, but an allocation inside
# a call may start the cyclic garbage collector, whose callbacks (hypothesis
# installs one) and finalizers (a generator's close, a __del__) are Python
# code: another thread can then get in. Such an overlap is refused like any
# other; what matters is that a refused call leaves no trace.

def refused(exc):
    return isinstance(exc, RuntimeError) and str(exc) in CONFLICTS


def attempt(call, refusals):
    try:
        return call()
    except RuntimeError as exc:
        assert refused(exc), exc
        refusals.append(exc)
        return None


@pytest.mark.parametrize("name", list(TRANSFORM_FACES))
def test_a_shared_object_loses_no_update(name):
    """Every thread feeds the same constant bar: the results are those of
    one sequence of as many bars as were accepted, however they interleave,
    and the read-only methods always answer."""
    obj = make(name)
    bar = bars(name, 2, 5)[1]
    per_thread = 200
    results = [[] for _ in range(THREADS)]
    refusals = []

    def work(i):
        for k in range(per_thread):
            result = attempt(lambda: obj.update(bar), refusals)
            if result is not None:
                results[i].append(result)
            if k % 10 == 0:
                names = attempt(obj.input_names, refusals)
                assert names in (None, list(TRANSFORM_FACES[name][2][0]))
                attempt(lambda: repr(obj), refusals)
                attempt(obj.warm_up_period, refusals)

    run_threads(work)
    flat = [r for rs in results for r in rs]
    assert flat, "every update was refused"
    reference = make(name)
    expected = [reference.update(bar) for _ in range(len(flat))]
    assert sorted(map(repr, flat)) == sorted(map(repr, expected))


def test_a_shared_pipeline_updated_researched_and_reset_stays_consistent():
    p = _vexal.FeaturePipeline([make("Sma"), make("Ema")], ["close"])
    data = [[b[0]] for b in bars("Sma", 50, 9)]
    expected = p.run_research(data)
    refusals = []

    def work(i):
        for _ in range(30):
            if i % 3 == 0:
                got = attempt(lambda: p.run_research(data), refusals)
                assert got is None or all(same_bits(a, e) for a, e in zip(got, expected))
            elif i % 3 == 1:
                attempt(lambda: p.update([1.0]), refusals)
                attempt(p.reset, refusals)
            else:
                assert attempt(p.output_names, refusals) in (None, ["sma", "ema"])
                assert attempt(lambda: len(p), refusals) in (None, 2)
                attempt(p.warm_up_period, refusals)

    run_threads(work)
    assert all(same_bits(a, e) for a, e in zip(p.run_research(data), expected))


# -- conflicting overlaps -------------------------------------------------------------------------

@pytest.mark.parametrize("name", ["Sma", "Ema", "LinearSlope", "RollingZScore", "Kama"])
def test_overlapping_calls_are_refused_and_leave_the_object_consistent(name):
    """Threads update one object with values that convert slowly while
    others reset it, read it and copy it into pipelines. Every failure is a
    refused borrow; each refused update pushed nothing."""
    obj = make(name)
    width = BAR_WIDTH.get(name, 1)
    value = 3.0
    outcomes = {"updates": [], "refused": 0}
    lock = threading.Lock()

    def work(i):
        for _ in range(60):
            try:
                if i % 4 == 0:
                    obj.reset()
                elif i % 4 == 1:
                    obj.input_names(), obj.output_names(), obj.warm_up_period(), repr(obj)
                elif i % 4 == 2:
                    _vexal.FeaturePipeline([obj], obj.input_names())
                else:
                    result = obj.update([Slow(value + k) for k in range(width)])
                    with lock:
                        outcomes["updates"].append(result)
            except RuntimeError as exc:
                assert refused(exc), exc
                with lock:
                    outcomes["refused"] += 1

    run_threads(work)
    assert outcomes["refused"] > 0, "no overlap happened: the test proves nothing"
    # The object still computes exactly what a new one does.
    obj.reset()
    clean = make(name)
    for bar in bars(name, 40, 2):
        assert same_bits(obj.update(bar), clean.update(bar))


def test_overlapping_updates_without_resets_push_exactly_the_accepted_bars():
    """Only updates, all slow: refused ones must leave no trace, so the NaN
    results are exactly the warm-up of the accepted ones."""
    obj = _vexal.Sma(["c"], 5, ["s"])
    accepted, refused_count = [], [0]
    lock = threading.Lock()

    def work(i):
        for _ in range(100):
            try:
                r = obj.update([Slow(2.0)])
                with lock:
                    accepted.append(r[0])
            except RuntimeError as exc:
                assert refused(exc), exc
                with lock:
                    refused_count[0] += 1

    run_threads(work)
    assert refused_count[0] > 0
    assert len(accepted) + refused_count[0] == THREADS * 100
    assert sum(math.isnan(v) for v in accepted) == 4
    assert all(v == 2.0 for v in accepted if not math.isnan(v))


def test_overlapping_pipeline_calls_are_refused_and_the_pipeline_stays_consistent():
    p = _vexal.FeaturePipeline([_vexal.Sma(["c"], 3, ["s"])], ["c"])
    refused_count = [0]
    accepted = []
    lock = threading.Lock()

    def work(i):
        for _ in range(50):
            try:
                if i % 3 == 0:
                    accepted.append(p.update([Slow(4.0)])[0])
                elif i % 3 == 1:
                    rows = p.run_research([[Slow(4.0)], [4.0], [4.0]])
                    assert rows[2] == [4.0]
                    p.reset()
                else:
                    len(p), p.input_names(), p.output_names(), p.warm_up_period()
            except RuntimeError as exc:
                assert refused(exc), exc
                with lock:
                    refused_count[0] += 1

    run_threads(work)
    assert refused_count[0] > 0
    assert all(math.isnan(v) or v == 4.0 for v in accepted)
    # Research starts clean whatever the threads left behind.
    assert all(same_bits(a, e) for a, e in zip(p.run_research([[1.0], [2.0], [3.0]]), [[nan], [nan], [2.0]]))


def test_target_pipelines_share_themselves_between_threads():
    """run_research only reads: slow conversions in many threads at once
    all succeed and agree."""
    t = _vexal.TargetPipeline([_vexal.FutureReturn(["c"], 1, ["f"]), _vexal.FutureCTCVolatility("c", 2)], ["c"])
    closes = [10.0, 11.0, 12.5, 12.0, 13.0, 12.0]
    expected = t.run_research([closes])
    target = _vexal.FutureReturn(["c"], 1, ["g"])

    def work(i):
        for _ in range(20):
            got = t.run_research([[Slow(c) for c in closes]])
            assert all(same_bits(a, e) for a, e in zip(got, expected))
            assert len(t) == 2 and t.forward_period() == 2
            _vexal.TargetPipeline([target], ["c"])
            repr(target), target.input_names()

    run_threads(work)


# -- the array path releases the lock ----------------------------------------------


def heavy_pipeline():
    """Long windows: each bar costs thousands of operations, so a call of a
    few thousand bars outlasts a thread switch by far."""
    return _vexal.FeaturePipeline(
        [_vexal.Skewness(["c"], 3000, ["s"]), _vexal.Kama(["c"], 50, ["k"]), _vexal.Sma(["c"], 7, ["m"])], ["c"]
    )


def closes(n, seed=5):
    rng = np.random.default_rng(seed)
    xs = 100.0 * np.exp(np.cumsum(rng.normal(0.0, 0.01, n)))
    xs[rng.integers(0, n, n // 50)] = nan
    return xs.reshape(n, 1)


def test_two_pipelines_in_two_threads_compute_what_one_thread_does():
    data = [closes(30000, seed) for seed in (1, 2)]
    expected = [np.array(heavy_pipeline().run_research(d.tolist())) for d in data]
    outs = [np.empty((30000, 3)) for _ in data]
    pipes = [heavy_pipeline() for _ in data]
    run_threads(lambda i: pipes[i].run_research_into(data[i], outs[i]), count=2)
    for got, want in zip(outs, expected):
        assert got.tobytes() == want.tobytes()


@pytest.mark.parametrize("threads", [2, 3, 64])
def test_transforms_spread_over_threads_compute_what_one_thread_does(threads):
    # Kama and Sma share the input; the routed chain makes later steps wait for earlier ones.
    def chained():
        return _vexal.FeaturePipeline(
            [_vexal.Sma(["c"], 7, ["m"]), _vexal.LogReturn(["c"], 1, ["lr"]), _vexal.Skewness(["lr"], 300, ["s"]),
             _vexal.Kama(["c"], 50, ["k"]), _vexal.LinearSlope(["m", "c"], 20, ["b", "r2"]),
             _vexal.Subtract(["c", "m"], ["d"])], ["c"])

    data = closes(20000)
    one, many = chained(), chained()
    want, got = np.empty((20000, 7)), np.empty((20000, 7))
    one.run_research_into(data, want)
    many.run_research_into(data, got, threads=threads)
    assert got.tobytes() == want.tobytes()
    assert many.snapshot() == one.snapshot()
    assert many.update([101.0]) == one.update([101.0])


@pytest.mark.parametrize("threads", [0, -1, -2**70])
def test_zero_threads_are_refused_before_anything_runs(threads):
    p = heavy_pipeline()
    p.update([1.0])
    before = p.snapshot()
    with pytest.raises(ValueError, match=rf"^threads: must be at least 1, got {threads}$"):
        p.run_research_into(closes(10), np.empty((10, 3)), threads=threads)
    assert p.snapshot() == before


def test_a_second_call_on_a_busy_pipeline_is_refused_while_the_lock_is_released():
    """Two threads call the same pipeline until each got two calls through:
    calls overlap only because the lock is released while one computes, and
    the overlapping one is refused; every accepted call computes it all."""
    p = heavy_pipeline()
    data = closes(20000)
    outs = [np.empty((20000, 3)) for _ in range(2)]
    refusals = [[], []]

    def calls(i):
        accepted = 0
        while accepted < 2:
            try:
                p.run_research_into(data, outs[i])
                accepted += 1
            except RuntimeError as exc:
                refusals[i].append(str(exc))

    run_threads(calls, count=2)
    assert refusals[0] or refusals[1]
    assert set(refusals[0] + refusals[1]) == {"Already borrowed"}
    expected = heavy_pipeline()
    rows = np.array(expected.run_research(data.tolist()))
    assert all(out.tobytes() == rows.tobytes() for out in outs)
    assert same_bits(p.update([101.5]), expected.update([101.5]))


@pytest.mark.parametrize("kind", ["features", "targets"])
def test_an_interrupt_lands_between_chunks_and_keeps_their_state(kind):
    import _thread

    # Long enough that the call outlasts the timer many times over, even on a busy machine.
    n = 60000 if kind == "features" else 300000
    data = closes(n)
    if kind == "features":
        p = heavy_pipeline()
    else:
        p = _vexal.TargetPipeline([_vexal.FutureCTCVolatility("c", 4000)], ["c"])
    out = np.full((n, len(p.output_names())), -1.0)
    timer = threading.Timer(0.02, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        p.run_research_into(data, out)
    timer.join()
    written = int(np.sum(np.any(out != -1.0, axis=1) | np.any(np.isnan(out), axis=1)))
    assert 0 < written < n, "the call was not interrupted while it ran"
    # Whole chunks were written, each as the full call would write it.
    if kind == "targets":
        expected = np.array(p.run_research([data[:, 0].tolist()])).T
        assert expected[:written].tobytes() == out[:written].tobytes()
        return
    expected = np.array(heavy_pipeline().run_research(data.tolist()))
    # A chunk holds at most 2**23 steps of work, a window costing its length a bar: here 2,744 bars, not 4,096.
    assert written % min(4096, 2**23 // (3000 + 50 + 7)) == 0
    assert expected[:written].tobytes() == out[:written].tobytes()
    # ... and the pipeline stands where those bars left it.
    again = heavy_pipeline()
    again.run_research(data[:written].tolist())
    for x in data[written : written + 20, 0]:
        assert same_bits(p.update([x]), again.update([x]))
