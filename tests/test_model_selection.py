"""Leak-free splits and uniqueness weights, checked against spans computed directly from their definition."""

import itertools
import math
import pathlib
import re

import numpy as np
import pandas as pd
import pytest
import vexal
import vexal.demo
from hypothesis import given
from hypothesis import strategies as st
from vexal import (
    FeaturePipeline,
    FutureReturn,
    LogReturn,
    RollingStd,
    TargetPipeline,
    TripleBarrier,
)
from vexal.model_selection import (
    CombinatorialPurgedCV,
    PurgedKFold,
    WalkForward,
    uniqueness_weights,
)

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


@st.composite
def timelines(draw):
    """Rows of one series, or of a panel: (time step, symbol) per row, symbols possibly missing steps."""
    steps = draw(st.integers(1, 40))
    symbols = draw(st.integers(1, 3))
    if symbols == 1 and draw(st.booleans()):
        return np.arange(steps), None
    present = [draw(st.lists(st.booleans(), min_size=steps, max_size=steps)) for _ in range(symbols)]
    rows = [(t, s) for t in range(steps) for s in range(symbols) if present[s][t] or t == 0]
    if draw(st.booleans()):
        rows.sort(key=lambda r: (r[1], r[0]))  # symbol by symbol rather than date by date
    step, symbol = map(np.array, zip(*rows))
    # One time step is one timestamp some symbol has.
    return np.unique(step, return_inverse=True)[1], symbol


def true_spans(step, symbol, horizon):
    """Each row's first and last time step: its own bar to its symbol's bar `horizon` rows on (or its last)."""
    if symbol is None:
        return step, step + horizon
    end = np.empty_like(step)
    for s in np.unique(symbol):
        rows = np.flatnonzero(symbol == s)
        rows = rows[np.argsort(step[rows])]
        end[rows] = step[rows[np.minimum(np.arange(len(rows)) + horizon, len(rows) - 1)]]
    return step, end


def check_split(train, test, step, spans, embargo):
    first, last = spans
    assert not np.intersect1d(train, test).size and np.all(np.diff(train) > 0) and np.all(np.diff(test) > 0)
    # No time step on both sides, no training span meeting a test span.
    assert not np.intersect1d(step[train], step[test]).size
    meets = (first[train][:, None] <= last[test][None, :]) & (first[test][None, :] <= last[train][:, None])
    assert not meets.any()
    tested = np.unique(step[test])
    block_ends = tested[~np.isin(tested + 1, tested)]
    barred = {int(e) + k for e in block_ends for k in range(1, embargo + 1)}
    assert not barred & set(step[train].tolist())
    return meets, barred


@given(timelines(), st.integers(1, 12), st.integers(0, 4), st.integers(2, 6), st.integers(1, 3), st.booleans())
def test_no_split_leaks_and_every_sample_is_tested_as_stated(timeline, horizon, embargo, groups, chosen, fold):
    step, symbol = timeline
    steps = int(step.max()) + 1
    spans = true_spans(step, symbol, horizon)
    n = len(step)
    times = None if symbol is None else step
    if fold:
        cv = PurgedKFold(groups, horizon=horizon, embargo=embargo, times=times)
    else:
        chosen = min(chosen, groups - 1)
        cv = CombinatorialPurgedCV(groups, chosen, horizon=horizon, embargo=embargo, times=times)
    if groups > steps:
        with pytest.raises(ValueError, match=f"is larger than the number of .* \\({steps}\\)"):
            list(cv.split(np.zeros(n), groups=symbol))
        return
    splits = list(cv.split(np.zeros(n), groups=symbol))
    assert len(splits) == cv.get_n_splits() == (groups if fold else math.comb(groups, chosen))
    tested = np.zeros(n, dtype=int)
    for train, test in splits:
        check_split(train, test, step, spans, embargo)
        tested[test] += 1
        if symbol is None:
            # A single series loses exactly the rows that meet a test span or lie in an embargo, no more.
            first, last = spans
            left = np.setdiff1d(np.arange(n), test)
            meets = ((first[left][:, None] <= last[test][None, :]) & (first[test][None, :] <= last[left][:, None]))
            barred = [s for e in np.unique(step[test]) if e + 1 not in step[test] for s in range(e + 1, e + 1 + embargo)]
            assert np.array_equal(train, left[~meets.any(axis=1) & ~np.isin(left, barred)])
    if fold:
        assert np.all(tested == 1)
    else:
        # Each block of time is tested in C(groups - 1, chosen - 1) splits, one per path.
        per_path = math.comb(groups - 1, chosen - 1)
        assert np.all(tested == per_path)
        paths = cv.paths()
        assert paths.shape == (per_path, groups)
        combos = list(itertools.combinations(range(groups), chosen))
        for g in range(groups):
            assert paths[:, g].tolist() == [s for s, c in enumerate(combos) if g in c]


@given(timelines(), st.integers(1, 12), st.integers(1, 4), st.booleans(), st.integers(1, 6))
def test_walk_forward_trains_on_the_purged_past_only(timeline, horizon, n_splits, expanding, min_train):
    step, symbol = timeline
    steps = int(step.max()) + 1
    cv = WalkForward(n_splits, horizon=horizon, expanding=expanding, min_train=min_train,
                     times=None if symbol is None else step)
    if min_train + n_splits > steps:
        with pytest.raises(ValueError, match="cannot hold"):
            list(cv.split(step, groups=symbol))
        return
    spans = true_spans(step, symbol, horizon)
    previous = -1
    for train, test in cv.split(step, groups=symbol):
        check_split(train, test, step, spans, 0)
        assert step[train].max(initial=-1) < step[test].min() and step[test].min() > previous
        previous = step[test].max()
    assert previous == steps - 1


@given(timelines(), st.integers(1, 12))
def test_uniqueness_weights_equal_a_brute_force_count(timeline, horizon):
    step, symbol = timeline
    steps = int(step.max()) + 1
    _, last = true_spans(step, symbol, horizon)
    if symbol is not None:
        last = np.maximum(last, step + horizon)
    windows = [range(s + 1, min(e, steps - 1) + 1) for s, e in zip(step, last)]
    counts = [sum(t in w for w in windows) for t in range(steps)]
    expected = [np.mean([1 / counts[t] for t in w]) if len(w) else 1.0 for w in windows]
    got = uniqueness_weights(horizon, len(step), None if symbol is None else step, symbol)
    np.testing.assert_allclose(got, expected, rtol=1e-12)


@pytest.mark.parametrize("call, error, message", [
    (lambda: PurgedKFold(1, horizon=1), ValueError, "n_splits must be >= 2, got 1"),
    (lambda: PurgedKFold(3, horizon=0), ValueError, "horizon must be >= 1, got 0"),
    (lambda: PurgedKFold(3, horizon=1.5), TypeError, "horizon must be an integer, not float"),
    (lambda: PurgedKFold(3, horizon=True), TypeError, "horizon must be an integer, not bool"),
    (lambda: PurgedKFold(3, horizon=2, embargo=-1), ValueError, "embargo must be >= 0, got -1"),
    (lambda: list(PurgedKFold(3, horizon=2).split(np.zeros(2))), ValueError,
     "PurgedKFold.split: n_splits=3 is larger than the number of samples (2)"),
    (lambda: list(PurgedKFold(3, horizon=2, times=[1, 1, 2, 2]).split(np.zeros(4))), ValueError,
     "PurgedKFold.split: n_splits=3 is larger than the number of time steps (2)"),
    (lambda: list(PurgedKFold(2, horizon=2, times=[1, 2, 3]).split(np.zeros(4))), ValueError,
     "PurgedKFold.split: times must hold one timestamp per row: 4 rows, got (3,) timestamps"),
    (lambda: list(PurgedKFold(2, horizon=2, times=[1, 3, 2, 4]).split(np.zeros(4))), ValueError,
     "PurgedKFold.split: times must be sorted; for a panel, pass each row's symbol as groups"),
    (lambda: list(PurgedKFold(2, horizon=2, times=[1, 3, 3, 2]).split(np.zeros(4), groups=list("aabb"))),
     ValueError, "PurgedKFold.split: times must increase within each symbol of groups"),
    (lambda: CombinatorialPurgedCV(4, 4, horizon=1), ValueError, "n_test_groups must be less than n_groups (4), got 4"),
    (lambda: list(WalkForward(3, horizon=1, min_train=2).split(np.zeros(4))), ValueError,
     "WalkForward.split: 4 samples cannot hold 3 test block(s) after 2 of training"),
    (lambda: uniqueness_weights(0, 3), ValueError, "horizon must be >= 1, got 0"),
])
def test_bad_input_is_refused(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message


def test_a_target_pipeline_gives_its_forward_period_and_huge_horizons_purge_all():
    targets = TargetPipeline([FutureReturn(["close"], 3, ["f"]), FutureReturn(["close"], 7, ["g"])], ["close"])
    cv = PurgedKFold(4, horizon=targets, embargo=2)
    assert repr(cv) == "PurgedKFold(4, horizon=7, embargo=2)"
    assert [t.tolist() for t, _ in PurgedKFold(3, horizon=2**64 - 1).split(np.zeros(9))] == [[], [], []]
    assert np.array_equal(uniqueness_weights(2**64, 3), [1 / 2 * (1 / 1 + 1 / 2), 1 / 2, 1.0])


def test_model_selection_imports_without_scikit_learn():
    import subprocess
    import sys

    code = ("import sys; sys.modules['sklearn'] = None; import vexal.model_selection as m; "
            "print(len(list(m.PurgedKFold(2, horizon=1).split(range(6)))))")
    out = subprocess.run([sys.executable, "-c", code], check=False, capture_output=True, text=True, timeout=60)
    assert out.stdout == "2\n", out.stderr


def spy_panel():
    spy = pd.read_csv(vexal.demo.bundled_data(), parse_dates=["date"])
    half = spy.assign(close=spy["close"] / 2)
    panel = pd.concat([spy.assign(symbol="SPY"), half.assign(symbol="HALF")], ignore_index=True)
    vol = FeaturePipeline([LogReturn(["close"], 1, ["r"]), RollingStd(["r"], 20, ["vol"])], ["close"])
    return spy, panel.join(vexal.research(vol, panel, by="symbol", order_by="date")["vol"])


def test_a_panel_dataset_with_dropna_splits_without_leaks():
    spy, panel = spy_panel()
    features = FeaturePipeline([LogReturn(["close"], 5, ["r5"]), RollingStd(["close"], 10, ["sd"])], ["close"])
    targets = TargetPipeline([TripleBarrier(["close", "vol"], 15, ["label", "ret", "bars"])], ["close", "vol"])
    table = vexal.dataset(features, targets, panel.sample(frac=1, random_state=1), by="symbol", order_by="date",
                          dropna="both")
    # Rows come back in the input's order; the splits want each symbol's in time order.
    table = table.sort_values(["symbol", "date"], ignore_index=True)
    position = spy["date"].searchsorted(table["date"])
    cv = CombinatorialPurgedCV(6, 2, horizon=targets, embargo=5, times=table["date"])
    for train, test in cv.split(table, groups=table["symbol"]):
        check_split(train, test, position, (position, position + 15), 5)
    weights = uniqueness_weights(targets, len(table), times=table["date"], groups=table["symbol"])
    assert 0 < weights.min() and weights.max() <= 1


def test_the_splits_serve_scikit_learn():
    sklearn = pytest.importorskip("sklearn")
    from sklearn.linear_model import LogisticRegression
    from sklearn.model_selection import GridSearchCV, cross_val_score

    rng = np.random.default_rng(0)
    X = rng.normal(size=(300, 3))
    y = (X[:, 0] + rng.normal(size=300) > 0).astype(int)
    for cv in (PurgedKFold(5, horizon=3, embargo=2), CombinatorialPurgedCV(5, 2, horizon=3),
               WalkForward(4, horizon=3)):
        scores = cross_val_score(LogisticRegression(), X, y, cv=cv)
        assert len(scores) == cv.get_n_splits() and scores.mean() > 0.6
    search = GridSearchCV(LogisticRegression(), {"C": [0.1, 1.0]}, cv=PurgedKFold(3, horizon=5)).fit(X, y)
    assert search.best_params_["C"] in (0.1, 1.0) and sklearn.__version__


@pytest.mark.parametrize("which", [0, 1], ids=["model", "frac_diff_and_events"])
def test_the_readme_model_examples_print_what_their_comments_say(capsys, which):
    pytest.importorskip("sklearn")
    section = README.read_text().split("## From features to a model", 1)[1].split("\n## ", 1)[0]
    block = re.findall(r"```python\n(.*?)```", section, flags=re.DOTALL)[which]
    expected = [line.split("  # ", 1)[1] for line in block.splitlines() if line.startswith("print(")]
    exec(compile(block, "README.md", "exec"), {"__name__": "__main__"})
    assert capsys.readouterr().out.splitlines() == expected
