"""Runs pipelines over a panel held as one float matrix: groups from a clean state, each in row order or in the
order of a key, in parallel, with the results put back in the input's row order."""

from __future__ import annotations

import copy
import functools
import os
import queue
from concurrent.futures import FIRST_EXCEPTION, ThreadPoolExecutor, wait
from dataclasses import dataclass
from typing import Any, Callable

import numpy as np

from .. import arrays

DUPLICATES = ("error", "last")


@dataclass(frozen=True)
class Job:
    """One pipeline and the columns of the input matrix it reads, in its input_names() order."""

    pipeline: Any
    columns: list[int]
    is_target: bool

    @property
    def width(self) -> int:
        return len(self.pipeline.output_names())

    def run(self, pipeline: Any, data: np.ndarray, out: np.ndarray,
            advance: Callable[[int], None] | None = None, threads: int = 1) -> None:
        """With `advance`, features run in slices, each continuing the last, and advance(bars) follows each;
        targets need the whole future and run in one call. Features spread their transforms over `threads`."""
        if self.is_target:
            arrays.label(pipeline, data, out=out)
        elif advance is None:
            arrays.research(pipeline, data, out=out, threads=threads)
        else:
            research_in_slices(pipeline, data, out, advance, threads)


# Bars per slice when a progress bar follows one series: long enough that a call's fixed cost is nothing.
SLICE = 1 << 16


def research_in_slices(pipeline: Any, data: Any, out: np.ndarray | None, advance: Callable[[int], None],
                       threads: int = 1) -> np.ndarray:
    """arrays.research(pipeline, data, out) in slices of SLICE bars, each continuing where the last stopped (the
    values are one call's, bit for bit), calling advance(bars) after each."""
    data = arrays._native(data)
    sliceable = out is None or (isinstance(out, np.ndarray) and out.ndim == 2 and len(out) == len(data))
    if data.ndim != 2 or not sliceable:
        # Only tables slice by rows; the native call says what is wrong with anything else.
        out = arrays.research(pipeline, data, out, threads=threads)
        advance(len(data))
        return out
    out = arrays._output(pipeline, data, out)
    bars = len(data)
    for begin in range(0, max(bars, 1), SLICE):
        end = min(begin + SLICE, bars)
        pipeline.run_research_into(data[begin:end], out[begin:end], threads, reset=begin == 0)
        advance(end - begin)
    return out


@dataclass(frozen=True)
class Keys:
    """Integer codes of the grouping and ordering keys, and how to name a group or a value in a message."""

    groups: np.ndarray | None  # one code per row, or None for a single series
    order: np.ndarray | None  # one rank per row (-1 where absent), or None for row order
    order_name: str
    describe_group: Callable[[int], str]  # row -> "symbol='AAPL'"
    describe_value: Callable[[int], str]  # row -> the order_by value at that row
    # Where given, `order` holds integers that rise with the values (any sign, absent ones the smallest) and
    # this marks the absent ones.
    order_absent: np.ndarray | None = None


@dataclass
class Result:
    values: np.ndarray  # rows x outputs, the jobs' outputs side by side
    rows: np.ndarray | None  # the input rows kept, ascending; None when all are kept


def replicas(pipeline: Any, count: int) -> list[Any]:
    """Independent copies for concurrent runs: a pipeline serves one call at a time.

    Where a pipeline cannot be copied, the one given serves every group in turn.
    """
    try:
        return [copy.deepcopy(pipeline) for _ in range(count)]
    except TypeError:
        return [pipeline]


def _layout(n: int, keys: Keys, duplicates: str, what: str) -> tuple[np.ndarray | None, np.ndarray]:
    """The rows in run order (None for 0..n-1: each group a block of rows in order) and the start of each group
    in that order, plus the end."""
    if keys.groups is None and keys.order is None:
        return None, np.array([0, n])
    groups = keys.groups if keys.groups is not None else np.zeros(n, dtype=np.int64)
    perm = _by_group(groups)
    # The keys in run order, gathered once.
    g = groups if perm is None else groups[perm]
    o = None
    if keys.order is not None:
        o = keys.order if perm is None else keys.order[perm]
        falls = o[1:] < o[:-1]
        falls &= g[1:] == g[:-1]
        if falls.any():
            perm = np.lexsort((keys.order, groups))
            g, o = groups[perm], keys.order[perm]
        # Otherwise each group's rows already come in order: the grouping is the ordering.
    boundary = np.flatnonzero(g[1:] != g[:-1]) + 1
    if o is not None:
        in_place = perm is None
        if in_place:
            perm = np.arange(n)  # for the messages
        absent = np.flatnonzero(o < 0 if keys.order_absent is None else keys.order_absent[perm])
        if len(absent):
            row = int(perm[absent[0]])
            raise ValueError(f"{what}: {keys.order_name!r} is missing at row {row}{_in_group(keys, row)}")
        tie = o[1:] == o[:-1]
        tie[boundary - 1] = False
        ties = np.flatnonzero(tie)
        if len(ties):
            if duplicates == "error":
                prev, row = int(perm[ties[0]]), int(perm[ties[0] + 1])
                raise ValueError(
                    f"{what}: {keys.order_name!r} is not strictly increasing{_in_group(keys, row)}: row {row} "
                    f"repeats the value {keys.describe_value(row)} of row {prev} "
                    f"(duplicates='last' keeps the last of equal rows)"
                )
            # Stable sorting leaves equal values in row order: keep the last of each run.
            keep = np.ones(len(perm), dtype=bool)
            keep[ties] = False
            perm, g = perm[keep], g[keep]
            boundary = np.flatnonzero(g[1:] != g[:-1]) + 1
        elif in_place:
            perm = None
    starts = np.concatenate(([0], boundary, [n if perm is None else len(perm)]))
    return perm, starts


# Neighbouring groups of a date-major panel run together: 16 bars of a float64 column fill two cache lines.
BLOCK = 16


def _turns_in_order(keys: Keys, n: int) -> int:
    """k when k groups take turns row by row (group i at rows i, i + k, i + 2k, ...: a date-major panel) and
    each is already strictly in order with no value missing; 0 otherwise, when the general layout sorts or
    reports what is wrong."""
    g = keys.groups
    if g is None or n == 0:
        return 0
    k = _turn_count(g)
    if not k:
        return 0
    if keys.order is not None:
        o = keys.order.reshape(-1, k)
        absent = keys.order < 0 if keys.order_absent is None else keys.order_absent
        if not (o[1:] > o[:-1]).all() or absent.any():
            return 0
    return k


def _turn_count(groups: np.ndarray) -> int:
    """k when the codes 0..k-1 take turns row by row; 0 otherwise."""
    n = len(groups)
    k = int(groups.max()) + 1
    if 1 < k < n and n % k == 0 and np.array_equal(groups[:k], np.arange(k)) and \
            (groups.reshape(-1, k) == groups[:k]).all():
        return k
    return 0


def _by_group(groups: np.ndarray) -> np.ndarray | None:
    """The rows grouped, each group in row order; None when they are already (each group one run of rows)."""
    n = len(groups)
    if n == 0:
        return None
    k = int(groups.max()) + 1
    if _turn_count(groups):
        # The groups take turns row by row (a date-major panel): the grouping is a transposition.
        return np.arange(n).reshape(-1, k).T.ravel()
    heads = groups[np.concatenate(([0], np.flatnonzero(groups[1:] != groups[:-1]) + 1))]
    if len(heads) <= k and len(heads) == len(np.unique(heads)):
        return None
    # Few distinct codes sort by radix in a narrow type.
    narrow = next((t for t in (np.uint16, np.uint32) if k - 1 <= np.iinfo(t).max), None)
    return np.argsort(groups if narrow is None else groups.astype(narrow), kind="stable")


def _in_group(keys: Keys, row: int) -> str:
    return f" in group {keys.describe_group(row)}" if keys.groups is not None else ""


def progress_bar(enabled: bool, total: int, unit: str):
    if not enabled:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        raise ImportError("progress=True needs tqdm: pip install 'vexal[frames]'") from None
    return tqdm(total=total, unit=unit)


def _place(rows: np.ndarray) -> slice | None:
    """The rows as a slice when they are evenly spaced and rising: one block of consecutive rows (a symbol of a
    symbol-major panel, a single series) or every k-th row (a symbol of a date-major panel)."""
    if len(rows) == 1:
        return slice(int(rows[0]), int(rows[0]) + 1)
    step = int(rows[1] - rows[0])
    if step <= 0 or not np.array_equal(np.diff(rows), np.full(len(rows) - 1, step)):
        return None
    return slice(int(rows[0]), int(rows[-1]) + 1, step)


def run(jobs: list[Job], data: np.ndarray, keys: Keys, *, duplicates: str, workers: int | None, progress: bool,
        dropna: tuple[bool, bool], what: str) -> Result:
    """Runs every job over every group of `data` (rows x columns, float64, any memory order).

    dropna is (leading warm-up rows of the features, trailing rows whose labels are absent).
    """
    n = len(data)
    # A date-major panel already in order needs no layout: group i is every k-th row from row i.
    turns = _turns_in_order(keys, n)
    if turns:
        groups: list[np.ndarray | range] = [range(i, n, turns) for i in range(turns)]
        places: list[slice | None] = []
    else:
        perm, starts = _layout(n, keys, duplicates, what)
        spans = [(a, b) for a, b in zip(starts[:-1], starts[1:]) if b > a]
        # Blocks of rows in order are known to be blocks: no need to look, nor to list their rows.
        groups = [range(a, b) if perm is None else perm[a:b] for a, b in spans]
        places = [slice(int(a), int(b)) if perm is None else None for a, b in spans]
    everything = list(range(data.shape[1]))
    inputs = [data if job.columns == everything else data[:, job.columns] for job in jobs]
    bounds = np.cumsum([0, *(job.width for job in jobs)])
    computed = sum(len(g) for g in groups)
    # Rows dropped as duplicates are never computed; they leave with the rows dropna removes.
    values = np.empty((n, int(bounds[-1])), dtype=np.float64) if computed == n else \
        np.full((n, int(bounds[-1])), np.nan)
    outputs = [values[:, a:b] for a, b in zip(bounds[:-1], bounds[1:])]

    count = max(1, min(workers or os.cpu_count() or 1, len(groups)))
    # One series has no groups to share out: its transforms share the workers instead.
    threads = max(1, workers or os.cpu_count() or 1) if keys.groups is None else 1
    copies = [replicas(job.pipeline, count) for job in jobs]
    count = min(count, *(len(c) for c in copies))
    pool: queue.SimpleQueue[list[Any]] = queue.SimpleQueue()
    for i in range(count):
        pool.put([c[i] for c in copies])

    def run_group(rows: np.ndarray | range, at: slice | None = None,
                  advance: Callable[[int], None] | None = None) -> None:
        mine = pool.get()
        try:
            place = _place(rows) if at is None else at
            for job, pipeline, x, y in zip(jobs, mine, inputs, outputs):
                if place is not None and place.step in (None, 1):
                    # One block: read and written in place (the pipeline reads any memory order as fast).
                    job.run(pipeline, x[place], y[place], advance, threads)
                    continue
                # Gathered into contiguous rows and scattered back: the pipeline reads a bar's values
                # together, and strided views would cost it more than these copies. A slice copies
                # faster than an index.
                part = np.empty((len(rows), y.shape[1]), dtype=np.float64)
                job.run(pipeline, np.take(x, rows, axis=0) if place is None else np.ascontiguousarray(x[place]),
                        part, advance, threads)
                y[rows if place is None else place] = part
        except BaseException as exc:
            if keys.groups is not None:
                exc.add_note(f"in group {keys.describe_group(int(rows[0]))}")
            raise
        finally:
            pool.put(mine)

    # Groups that take turns row by row (a date-major panel) run BLOCK neighbours at a time: each gather reads
    # whole cache lines rather than one bar's values out of each. Outputs go straight to their rows: a bar's
    # outputs are neighbours already, and a scatter through a buffer would move every result twice.
    if turns:
        width = turns
        height = n // width
        blocked = [values.reshape(height, width, -1)[:, :, a:b] for a, b in zip(bounds[:-1], bounds[1:])]

        # Each worker keeps one gather buffer from block to block: a fresh one of this size comes straight from
        # the system each time and costs a page fault per page on first touch.
        gathers: dict[int, np.ndarray] = {}

        def run_block(first: int) -> None:
            last = min(first + BLOCK, width)
            mine = pool.get()
            try:
                for job, pipeline, x, y in zip(jobs, mine, inputs, blocked):
                    if id(mine) not in gathers:
                        gathers[id(mine)] = np.empty((BLOCK, data.shape[1], height), dtype=np.float64)
                    gathered = gathers[id(mine)][:last - first, :x.shape[1]]
                    for j in range(x.shape[1]):
                        gathered[:, j, :] = x[:, j].reshape(height, width)[:, first:last].T
                    for i in range(last - first):
                        try:
                            job.run(pipeline, gathered[i].T, y[:, first + i, :])
                        except BaseException as exc:
                            exc.add_note(f"in group {keys.describe_group(first + i)}")
                            raise
            finally:
                pool.put(mine)

        tasks = [(functools.partial(run_block, first), min(BLOCK, width - first)) for first in range(0, width, BLOCK)]
    else:
        tasks = [(functools.partial(run_group, rows, at), 1) for rows, at in zip(groups, places)]

    grouped = keys.groups is not None
    bar = progress_bar(progress, len(groups) if grouped else n, "group" if grouped else "bar")
    try:
        if count == 1 and not grouped and bar is not None:
            # One series: the bar follows its slices, then takes what the labels' single call covered.
            moved = [0]

            def advance(bars: int) -> None:
                moved[0] += bars
                bar.update(bars)

            for rows, at in zip(groups, places):
                run_group(rows, at, advance)
            bar.update(n - moved[0])
        elif count == 1:
            for task, size in tasks:
                task()
                if bar is not None:
                    bar.update(size)
        else:
            with ThreadPoolExecutor(max_workers=count) as executor:
                futures = [executor.submit(task) for task, _ in tasks]
                if bar is not None:
                    for future, (_, size) in zip(futures, tasks):
                        future.add_done_callback(lambda _, size=size: bar.update(size))
                done, pending = wait(futures, return_when=FIRST_EXCEPTION)
                for future in pending:
                    future.cancel()
                for future in futures:
                    if future.done() and not future.cancelled():
                        future.result()
    finally:
        if bar is not None:
            bar.close()

    keep = _kept(jobs, outputs, groups, dropna, n, computed)
    if keep is None:
        return Result(values, None)
    rows = np.flatnonzero(keep)
    return Result(values[rows], rows)


def _kept(jobs: list[Job], outputs: list[np.ndarray], groups: list[np.ndarray | range], dropna: tuple[bool, bool],
          n: int, computed: int) -> np.ndarray | None:
    """The input rows that stay, or None when every row does: dropna's and the rows never computed."""
    warmup, labels = dropna
    if not (warmup or labels) and computed == n:
        return None
    keep = np.zeros(n, dtype=bool)
    for rows in groups:
        keep[rows] = True
    for is_target, wanted in ((False, warmup), (True, labels)):
        columns = [y for job, y in zip(jobs, outputs) if job.is_target == is_target and y.shape[1]]
        if not wanted or not columns:
            continue
        complete = np.logical_and.reduce([~np.isnan(y).any(axis=1) for y in columns])
        for rows in groups:
            present = np.flatnonzero(complete[rows])
            if not len(present):
                keep[rows] = False
            elif is_target:
                keep[rows[present[-1] + 1:]] = False
            else:
                keep[rows[:present[0]]] = False
    return keep
