"""Cross-validation splits that cannot leak a label's future into training, and weights by label uniqueness.

The label of sample i reads bars i+1 ... i+horizon, so its span is bars i ... i+horizon: its own bar and the bars
its label reads. A training sample is dropped (purged) when its span meets the span of any test sample, and the
``embargo`` time steps after each block of test samples are dropped too. ``horizon`` is an int or anything with a
``forward_period()``, such as the TargetPipeline that made the labels, so the purge always matches them.

The splitters follow scikit-learn's interface (``split(X, y=None, groups=None)`` yields arrays of training and test
row numbers, ``get_n_splits``), so they serve as ``cv=`` anywhere scikit-learn takes one; scikit-learn itself is not
needed. For a panel, ``times=`` gives each row's timestamp: the splits are made by time across all symbols, a
timestamp never on both sides, and one time step is one distinct timestamp. Pass each row's symbol as ``groups`` to
``split``: each symbol's timestamps must then increase, and a span reaches as far as that symbol's own bars do.
"""

from __future__ import annotations

import itertools
import math
import operator
from collections.abc import Iterator
from typing import Any

import numpy as np

__all__ = ["CombinatorialPurgedCV", "PurgedKFold", "WalkForward", "uniqueness_weights"]


def _count(value: Any, name: str, least: int) -> int:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an integer, not bool")
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if number < least:
        raise ValueError(f"{name} must be >= {least}, got {number}")
    return number


def _horizon(horizon: Any) -> int:
    # A pipeline or target knows how far its labels read; its forward period may be 0 (labels of the bar alone).
    forward = getattr(horizon, "forward_period", None)
    if callable(forward) and not isinstance(horizon, int):
        return _count(forward(), "horizon", 0)
    return _count(horizon, "horizon", 1)


def _length(X: Any) -> int:
    shape = getattr(X, "shape", None)
    return int(shape[0]) if shape is not None and len(shape) else len(X)


class _Timeline:
    """Each row's time step and the last time step its span reaches, for `n` rows."""

    def __init__(self, n: int, horizon: int, times: Any, groups: Any, what: str):
        if times is None:
            self.step = np.arange(n, dtype=np.int64)
            self.steps = n
        else:
            times = np.asarray(times)
            if times.ndim != 1 or len(times) != n:
                raise ValueError(f"{what}: times must hold one timestamp per row: {n} rows, got {times.shape} "
                                 f"timestamps")
            order, self.step = np.unique(times, return_inverse=True)
            self.step = self.step.astype(np.int64)
            self.steps = len(order)
        # Spans are cut at the last step later on: a longer horizon changes nothing, and must not overflow.
        self.end = self.step + min(horizon, self.steps)
        if groups is None:
            if times is not None and np.any(np.diff(self.step) < 0):
                raise ValueError(f"{what}: times must be sorted; for a panel, pass each row's symbol as groups")
            return
        groups = np.asarray(groups)
        if groups.ndim != 1 or len(groups) != n:
            raise ValueError(f"{what}: groups must hold one symbol per row: {n} rows, got {groups.shape}")
        _, symbol = np.unique(groups, return_inverse=True)
        rows = np.lexsort((np.arange(n), symbol))
        same = symbol[rows[1:]] == symbol[rows[:-1]]
        if np.any(same & (self.step[rows[1:]] <= self.step[rows[:-1]])):
            raise ValueError(f"{what}: times must increase within each symbol of groups")
        # A symbol missing some time steps reads further than `horizon` steps: to its own bar `horizon` rows on,
        # or its last bar when fewer remain.
        starts = np.flatnonzero(np.r_[True, ~same])
        stops = np.r_[starts[1:], n]
        for a, b in zip(starts, stops):
            block = rows[a:b]
            ahead = np.minimum(np.arange(len(block)) + min(horizon, len(block)), len(block) - 1)
            self.end[block] = np.maximum(self.end[block], self.step[block][ahead])

    def train(self, test_steps: np.ndarray, embargo: int) -> tuple[np.ndarray, np.ndarray]:
        """Training and test rows for the time steps marked in `test_steps` (bool, one per step)."""
        test = test_steps[self.step]
        # Spans past the last step all reach it, so cutting them there keeps every meeting and nothing more.
        last = self.steps - 1
        end = np.minimum(self.end, last)
        covered = np.zeros(self.steps + 1, dtype=np.int64)
        np.add.at(covered, self.step[test], 1)
        np.add.at(covered, end[test] + 1, -1)
        touched = np.r_[0, np.cumsum(np.cumsum(covered)[:-1] > 0)]
        meets = touched[end + 1] > touched[self.step]
        # The embargo: the steps right after each run of test steps.
        barred = np.zeros(self.steps, dtype=bool)
        if embargo:
            block_ends = np.flatnonzero(test_steps & ~np.r_[test_steps[1:], False])
            for e in block_ends:
                barred[e + 1:e + 1 + embargo] = True
        keep = ~test & ~meets & ~barred[self.step]
        return np.flatnonzero(keep), np.flatnonzero(test)


class _Splitter:
    _what = "split"

    def __init__(self, horizon: Any, embargo: Any, times: Any):
        self.horizon = _horizon(horizon)
        self.embargo = _count(embargo, "embargo", 0)
        self.times = None if times is None else np.asarray(times)

    def _timeline(self, X: Any, groups: Any) -> _Timeline:
        n = _length(X) if X is not None else len(self.times)  # type: ignore[arg-type]
        return _Timeline(n, self.horizon, self.times, groups, f"{type(self).__name__}.split")

    def _test_steps(self, steps: int) -> Iterator[np.ndarray]:
        raise NotImplementedError

    def _check_steps(self, steps: int) -> None:
        pass

    def split(self, X: Any, y: Any = None, groups: Any = None) -> Iterator[tuple[np.ndarray, np.ndarray]]:
        """Yields (training rows, test rows) for each split, both sorted."""
        line = self._timeline(X, groups)
        self._check_steps(line.steps)
        for test_steps in self._test_steps(line.steps):
            yield line.train(test_steps, self.embargo)

    def _options(self) -> str:
        return f"horizon={self.horizon}, embargo={self.embargo}" + (", times=..." if self.times is not None else "")


def _blocks(steps: int, count: int) -> list[np.ndarray]:
    """`count` contiguous runs of time steps, the first `steps % count` one longer."""
    return np.array_split(np.arange(steps), count)


def _too_few(what: str, name: str, count: int, steps: int, times: Any) -> None:
    unit = "time steps" if times is not None else "samples"
    if count > steps:
        raise ValueError(f"{what}: {name}={count} is larger than the number of {unit} ({steps})")


class PurgedKFold(_Splitter):
    """K-fold by contiguous blocks of time, each tested once, with purged and embargoed training sets."""

    def __init__(self, n_splits: int, *, horizon: Any, embargo: int = 0, times: Any = None):
        self.n_splits = _count(n_splits, "n_splits", 2)
        super().__init__(horizon, embargo, times)

    def get_n_splits(self, X: Any = None, y: Any = None, groups: Any = None) -> int:
        return self.n_splits

    def _check_steps(self, steps: int) -> None:
        _too_few("PurgedKFold.split", "n_splits", self.n_splits, steps, self.times)

    def _test_steps(self, steps: int) -> Iterator[np.ndarray]:
        for block in _blocks(steps, self.n_splits):
            marked = np.zeros(steps, dtype=bool)
            marked[block] = True
            yield marked

    def __repr__(self) -> str:
        return f"PurgedKFold({self.n_splits}, {self._options()})"


class CombinatorialPurgedCV(_Splitter):
    """Every choice of `n_test_groups` of `n_groups` contiguous blocks of time as the test set, purged and embargoed.

    Split s tests the blocks ``itertools.combinations(range(n_groups), n_test_groups)`` gives s-th. Each block is
    tested in C(n_groups - 1, n_test_groups - 1) splits, so the tests make that many backtest paths: see paths().
    """

    def __init__(self, n_groups: int, n_test_groups: int, *, horizon: Any, embargo: int = 0, times: Any = None):
        self.n_groups = _count(n_groups, "n_groups", 2)
        self.n_test_groups = _count(n_test_groups, "n_test_groups", 1)
        if self.n_test_groups >= self.n_groups:
            raise ValueError(f"n_test_groups must be less than n_groups ({self.n_groups}), got {self.n_test_groups}")
        super().__init__(horizon, embargo, times)

    def combinations(self) -> list[tuple[int, ...]]:
        """The blocks each split tests, in split order."""
        return list(itertools.combinations(range(self.n_groups), self.n_test_groups))

    def get_n_splits(self, X: Any = None, y: Any = None, groups: Any = None) -> int:
        return math.comb(self.n_groups, self.n_test_groups)

    def paths(self) -> np.ndarray:
        """The backtest paths: row p, column g is the split whose test predictions cover block g in path p.

        Shape (C(n_groups - 1, n_test_groups - 1), n_groups); every split appears n_test_groups times in all, and
        each column lists the splits testing that block, in split order.
        """
        count = math.comb(self.n_groups - 1, self.n_test_groups - 1)
        out = np.empty((count, self.n_groups), dtype=np.intp)
        seen = [0] * self.n_groups
        for s, chosen in enumerate(self.combinations()):
            for g in chosen:
                out[seen[g], g] = s
                seen[g] += 1
        return out

    def _check_steps(self, steps: int) -> None:
        _too_few("CombinatorialPurgedCV.split", "n_groups", self.n_groups, steps, self.times)

    def _test_steps(self, steps: int) -> Iterator[np.ndarray]:
        blocks = _blocks(steps, self.n_groups)
        for chosen in self.combinations():
            marked = np.zeros(steps, dtype=bool)
            for g in chosen:
                marked[blocks[g]] = True
            yield marked

    def __repr__(self) -> str:
        return f"CombinatorialPurgedCV({self.n_groups}, {self.n_test_groups}, {self._options()})"


class WalkForward(_Splitter):
    """Tests `n_splits` consecutive blocks of time at the end, each trained on what precedes it, purged.

    The first block starts after `min_train` time steps (by default, the blocks and that first stretch are all of
    one length). ``expanding=False`` trains on as many steps as precede the first block, those right before each
    block, instead of all of them. Training never follows a test block here, so the embargo removes nothing; it is kept for symmetry.
    """

    def __init__(self, n_splits: int, *, horizon: Any, embargo: int = 0, expanding: bool = True,
                 min_train: int | None = None, times: Any = None):
        self.n_splits = _count(n_splits, "n_splits", 1)
        self.expanding = bool(expanding)
        self.min_train = None if min_train is None else _count(min_train, "min_train", 1)
        super().__init__(horizon, embargo, times)

    def get_n_splits(self, X: Any = None, y: Any = None, groups: Any = None) -> int:
        return self.n_splits

    def _layout(self, steps: int) -> tuple[int, int]:
        first = steps // (self.n_splits + 1) if self.min_train is None else self.min_train
        size = (steps - first) // self.n_splits
        if first < 1 or size < 1:
            unit = "time steps" if self.times is not None else "samples"
            raise ValueError(f"WalkForward.split: {steps} {unit} cannot hold {self.n_splits} test block(s) after "
                             f"{max(first, 1)} of training")
        return steps - self.n_splits * size, size

    def _check_steps(self, steps: int) -> None:
        self._layout(steps)

    def _test_steps(self, steps: int) -> Iterator[np.ndarray]:
        first, size = self._layout(steps)
        window = first
        for k in range(self.n_splits):
            start = first + k * size
            marked = np.zeros(steps, dtype=bool)
            marked[start:start + size] = True
            yield marked, (0 if self.expanding else start - window), start

    def split(self, X: Any, y: Any = None, groups: Any = None) -> Iterator[tuple[np.ndarray, np.ndarray]]:
        line = self._timeline(X, groups)
        for marked, since, start in self._test_steps(line.steps):
            train, test = line.train(marked, self.embargo)
            # Only the past trains: rows after the block, or before a rolling window, never do.
            step = line.step[train]
            yield train[(step >= since) & (step < start)], test

    def __repr__(self) -> str:
        options = f", expanding={self.expanding}, min_train={self.min_train}"
        return f"WalkForward({self.n_splits}, {self._options()}{options})"


def uniqueness_weights(horizon: Any, n: int, times: Any = None, groups: Any = None) -> np.ndarray:
    """Each sample's average uniqueness, the usual sample weight for overlapping labels.

    Sample i's label reads time steps i+1 ... i+horizon (those present: the window ends with the data). At each
    step, c is the number of labels reading it, across all symbols of a panel; the weight is the mean of 1 / c over
    the sample's window, 1 for a window that is empty. `times` and `groups` are as the splitters take them.
    """
    n = _count(n, "n", 0)
    line = _Timeline(n, _horizon(horizon), None if times is None else np.asarray(times), groups,
                     "uniqueness_weights")
    first = line.step + 1
    last = np.minimum(line.end, line.steps - 1)
    concurrent = np.zeros(line.steps + 1, dtype=np.int64)
    reads = first <= last
    np.add.at(concurrent, first[reads], 1)
    np.add.at(concurrent, last[reads] + 1, -1)
    counts = np.cumsum(concurrent)[:-1]
    share = np.r_[0.0, np.cumsum(np.divide(1.0, counts, out=np.zeros(line.steps), where=counts > 0))]
    weights = np.ones(n)
    lengths = (last - first + 1)[reads]
    weights[reads] = (share[last[reads] + 1] - share[first[reads]]) / lengths
    return weights
