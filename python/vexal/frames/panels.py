"""Runs pipelines over a panel held as one float matrix: groups from a clean state, each in row order or in the
order of a key, in parallel, with the results put back in the input's row order."""

from __future__ import annotations

import copy
import os
import queue
import threading
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
    # row -> how a message names it: "row 12" by position, or by index label where positions mean nothing to the
    # caller (a partition of a shuffled Dask frame).
    describe_row: Callable[[int], str] = lambda row: f"row {row}"


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
            perm = _sort_within_groups(keys.order, groups)
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
            raise ValueError(f"{what}: {keys.order_name!r} is missing at {keys.describe_row(row)}{_in_group(keys, row)}")
        tie = o[1:] == o[:-1]
        tie[boundary - 1] = False
        ties = np.flatnonzero(tie)
        if len(ties):
            if duplicates == "error":
                prev, row = int(perm[ties[0]]), int(perm[ties[0] + 1])
                raise ValueError(
                    f"{what}: {keys.order_name!r} is not strictly increasing{_in_group(keys, row)}: "
                    f"{keys.describe_row(row)} repeats the value {keys.describe_value(row)} of "
                    f"{keys.describe_row(prev)} "
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
    # Codes are 0..k-1: counting them is linear, where np.unique would sort or hash a million heads.
    if len(heads) <= k and np.bincount(heads, minlength=k).max() <= 1:
        return None
    # Few distinct codes sort by radix in a narrow type.
    narrow = next((t for t in (np.uint16, np.uint32) if k - 1 <= np.iinfo(t).max), None)
    return np.argsort(groups if narrow is None else groups.astype(narrow), kind="stable")


def _sort_within_groups(order: np.ndarray, groups: np.ndarray) -> np.ndarray:
    """np.lexsort((order, groups)), equal keys in row order, as two stable sorts: by order, then by group, which
    few distinct codes let numpy sort by radix. Twice as fast as lexsort on millions of rows."""
    by_order = np.argsort(order, kind="stable")
    k = int(groups.max()) + 1 if len(groups) else 0
    narrow = next((t for t in (np.uint16, np.uint32) if k - 1 <= np.iinfo(t).max), np.int64)
    return by_order[np.argsort(groups[by_order].astype(narrow), kind="stable")]


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


def interruptible(fn: Callable[..., Any], *args: Any) -> Any:
    """fn(*args) on a helper thread while this one waits: numpy sorts and gathers release the interpreter lock,
    so Ctrl-C is not held up by a sort of many millions of rows (it runs on, unseen, to its end)."""
    if threading.current_thread() is not threading.main_thread():
        return fn(*args)
    box: list[tuple[bool, Any]] = []

    def call() -> None:
        try:
            box.append((True, fn(*args)))
        except BaseException as exc:
            box.append((False, exc))

    helper = threading.Thread(target=call, name="vexal-layout", daemon=True)
    helper.start()
    helper.join()
    ok, value = box[0]
    if not ok:
        raise value
    return value


# Rows per batch of groups: enough that a batch's fixed cost is nothing, few enough that the workers share the
# groups evenly and a gather buffer stays small.
BATCH = 1 << 16
BATCH_MIN = 1 << 12
# Below this many bars per group a date-major panel is transposed and batched like any other: calls per group
# would cost more than the gather.
TURNS_MIN_BARS = 64


def _batches(starts: np.ndarray, rows: int) -> np.ndarray:
    """Edges of the batches, as group indices: each batch ends at the first group end past `rows` rows."""
    groups = len(starts) - 1
    if groups <= 0:
        return np.zeros(1, dtype=np.int64)
    marks = np.arange(rows, int(starts[-1]), rows)
    edges = np.searchsorted(starts, marks, side="right")
    return np.unique(np.concatenate(([0], np.minimum(edges, groups), [groups]))).astype(np.int64)


def run(jobs: list[Job], data: np.ndarray, keys: Keys, *, duplicates: str, workers: int | None, progress: bool,
        dropna: tuple[bool, bool], what: str, extra: Any = None) -> Result:
    """Runs every job over every group of `data` (rows x columns, float64, any memory order).

    dropna is (leading warm-up rows of the features, trailing rows whose labels are absent). Groups run in
    batches, each one native call per job, shared out among the workers; no Python object is made per group.
    extra(values, computed) gives columns to append, from every row's outputs before dropna removes any
    (computed: a mask of the rows computed, or None for all).
    """
    n = len(data)
    # A date-major panel already in order needs no layout: group i is every k-th row from row i.
    turns = _turns_in_order(keys, n)
    if turns and n // turns < TURNS_MIN_BARS:
        turns = 0
    if turns:
        perm, starts = None, np.arange(0, n + 1, n // turns, dtype=np.int64)
    else:
        perm, starts = interruptible(_layout, n, keys, duplicates, what)
        starts = np.asarray(starts, dtype=np.int64)
    groups = len(starts) - 1
    computed = n if perm is None else len(perm)
    everything = list(range(data.shape[1]))
    bounds = np.cumsum([0, *(job.width for job in jobs)])
    # Rows dropped as duplicates are never computed; they leave with the rows dropna removes.
    values = np.empty((n, int(bounds[-1])), dtype=np.float64) if computed == n else \
        np.full((n, int(bounds[-1])), np.nan)
    outputs = [values[:, a:b] for a, b in zip(bounds[:-1], bounds[1:])]

    grouped = keys.groups is not None
    if not grouped:
        _run_series(jobs, data, outputs, perm, workers, progress)
        return _result(_with(extra, values, perm, n), _kept(jobs, outputs, perm, starts, dropna, n, computed))

    if turns:
        tasks = range(0, turns, BLOCK)
        sizes = [min(BLOCK, turns - first) for first in tasks]
    else:
        # At least four batches a worker, so that they share the groups evenly.
        edges = _batches(starts, max(BATCH_MIN, min(BATCH, n // (4 * max(1, workers or os.cpu_count() or 1)))))
        tasks = range(len(edges) - 1)
        sizes = np.diff(edges).tolist()
    count = max(1, min(workers or os.cpu_count() or 1, len(tasks)))
    copies = [replicas(job.pipeline, count) for job in jobs]
    count = min(count, *(len(c) for c in copies))
    pool: queue.SimpleQueue[list[Any]] = queue.SimpleQueue()
    for i in range(count):
        pool.put([c[i] for c in copies])
    # Set on an interrupt or a failure: every native batch looks at it between chunks and stops.
    stop = np.zeros(1, dtype=np.uint8)
    # Each worker keeps its buffers from batch to batch: fresh ones of this size come straight from the system
    # each time and cost a page fault per page on first touch.
    buffers: dict[int, dict[str, np.ndarray]] = {}

    def buffer(mine: list[Any], name: str, shape: tuple[int, ...]) -> np.ndarray:
        held = buffers.setdefault(id(mine), {})
        size = int(np.prod(shape))
        if name not in held or held[name].size < size:
            held[name] = np.empty(max(size, 1), dtype=np.float64)
        return held[name][:size].reshape(shape)

    def columns(x: np.ndarray, job: Job) -> np.ndarray | list[np.ndarray]:
        # A job reading only some columns reads views of them: no copy of the matrix per job.
        return x if job.columns == everything else [x[:, j] for j in job.columns]

    def run_batch(index: int) -> None:
        first, last = int(edges[index]), int(edges[index + 1])
        a, b = int(starts[first]), int(starts[last])
        local = starts[first:last + 1] - a
        mine = pool.get()
        try:
            x = data[a:b] if perm is None else _gather(data, perm[a:b], buffer(mine, "in", (b - a, data.shape[1])))
            for job, pipeline, y in zip(jobs, mine, outputs):
                if perm is None:
                    pipeline._run_groups(columns(x, job), y[a:b], local, stop)
                    continue
                part = buffer(mine, f"out{id(job)}", (b - a, y.shape[1]))
                if pipeline._run_groups(columns(x, job), part, local, stop) == last - first:
                    y[perm[a:b]] = part
        finally:
            pool.put(mine)

    # Groups that take turns row by row (a date-major panel) run BLOCK neighbours at a time: each gather reads
    # whole cache lines rather than one bar's values out of each. Outputs go straight to their rows: a bar's
    # outputs are neighbours already, and a scatter through a buffer would move every result twice.
    width, height = turns, (n // turns if turns else 0)
    blocked = [values.reshape(height, width, -1)[:, :, a:b] for a, b in zip(bounds[:-1], bounds[1:])] \
        if turns else []
    whole = np.array([0, height], dtype=np.int64)

    def run_block(first: int) -> None:
        last = min(first + BLOCK, width)
        mine = pool.get()
        try:
            gathered = buffer(mine, "block", (BLOCK, data.shape[1], height))[:last - first]
            for j in range(data.shape[1]):
                gathered[:, j, :] = data[:, j].reshape(height, width)[:, first:last].T
            for job, pipeline, y in zip(jobs, mine, blocked):
                for i in range(last - first):
                    if stop[0]:
                        return
                    pipeline._run_groups(columns(gathered[i].T, job), y[:, first + i, :], whole, stop)
        finally:
            pool.put(mine)

    bar = progress_bar(progress, groups, "group")
    try:
        _drive(run_block if turns else run_batch, tasks, sizes, count, stop, bar)
    finally:
        if bar is not None:
            bar.close()
    return _result(_with(extra, values, perm, n), _kept(jobs, outputs, perm, starts, dropna, n, computed))


def _drive(task: Callable[[int], None], tasks: range, sizes: list[int], count: int, stop: np.ndarray,
           bar: Any) -> None:
    """task(t) for every t of `tasks` on `count` threads (this one alone for one), the bar advanced by sizes[i]
    after each. On Ctrl-C or a failure the workers stop at their next chunk; nothing waits for queued work."""
    if count == 1:
        # On this thread the native calls look for signals themselves.
        for t, size in zip(tasks, sizes):
            task(t)
            if bar is not None:
                bar.update(size)
        return
    queued = iter(zip(tasks, sizes))
    lock = threading.Lock()
    failures: list[BaseException] = []

    def work() -> None:
        while not stop[0]:
            with lock:
                item = next(queued, None)
            if item is None:
                return
            try:
                task(item[0])
            except BaseException as exc:
                failures.append(exc)
                stop[0] = 1
                return
            if bar is not None:
                bar.update(item[1])

    threads = [threading.Thread(target=work, name=f"vexal-panel-{i}", daemon=True) for i in range(count)]
    for thread in threads:
        thread.start()
    try:
        for thread in threads:
            thread.join()
    except BaseException:
        stop[0] = 1
        # The workers stop within a chunk; a short wait keeps them from outliving the call unseen.
        for thread in threads:
            thread.join(0.05)
        raise
    if failures:
        raise failures[0]


def _run_series(jobs: list[Job], data: np.ndarray, outputs: list[np.ndarray], perm: np.ndarray | None,
                workers: int | None, progress: bool) -> None:
    """One series: its transforms share the workers, and a progress bar follows its slices."""
    threads = max(1, workers or os.cpu_count() or 1)
    n = len(data)
    bar = progress_bar(progress, n, "bar")
    try:
        moved = [0]

        def advance(bars: int) -> None:
            moved[0] += bars
            bar.update(bars)

        for job, y in zip(jobs, outputs):
            x = data if job.columns == list(range(data.shape[1])) else data[:, job.columns]
            rows = None if perm is None else perm
            part = y if rows is None else np.empty((len(rows), y.shape[1]), dtype=np.float64)
            job.run(job.pipeline, x if rows is None else _gather(x, rows), part,
                    advance if bar is not None else None, threads)
            if rows is not None:
                y[rows] = part
        if bar is not None:
            bar.update(n - moved[0])
    finally:
        if bar is not None:
            bar.close()


def _gather(x: np.ndarray, rows: np.ndarray, out: np.ndarray | None = None) -> np.ndarray:
    """x[rows] into `out` (or a new C-order array), column by column: np.take(x, rows, axis=0) of a Fortran-order
    matrix (pandas' block) is ten to a hundred times slower."""
    out = np.empty((len(rows), x.shape[1]), dtype=np.float64) if out is None else out
    for j in range(x.shape[1]):
        np.take(x[:, j], rows, out=out[:, j])
    return out


def _with(extra: Any, values: np.ndarray, perm: np.ndarray | None, n: int) -> np.ndarray:
    """values with extra's columns after them, computed over every row (the rows never computed excluded)."""
    if extra is None:
        return values
    computed = None
    if perm is not None and len(perm) != n:
        computed = np.zeros(n, dtype=bool)
        computed[perm] = True
    return np.hstack([values, extra(values, computed)])


def _result(values: np.ndarray, keep: np.ndarray | None) -> Result:
    if keep is None:
        return Result(values, None)
    rows = np.flatnonzero(keep)
    return Result(values[rows], rows)


def _kept(jobs: list[Job], outputs: list[np.ndarray], perm: np.ndarray | None, starts: np.ndarray,
          dropna: tuple[bool, bool], n: int, computed: int) -> np.ndarray | None:
    """The input rows that stay, or None when every row does: dropna's and the rows never computed. Group g is
    run-order positions starts[g]..starts[g+1] (perm maps them to rows), found for all groups at once."""
    warmup, labels = dropna
    if not (warmup or labels) and computed == n:
        return None
    keep = np.zeros(n, dtype=bool)
    keep[slice(None) if perm is None else perm] = True
    lengths = np.diff(starts)
    present = lengths > 0
    heads = starts[:-1][present]
    position = np.arange(computed, dtype=np.int64)
    # Each run-order position's offset from its group's first row.
    offset = position - np.repeat(heads, lengths[present])
    for is_target, wanted in ((False, warmup), (True, labels)):
        columns = [y for job, y in zip(jobs, outputs) if job.is_target == is_target and y.shape[1]]
        if not wanted or not columns:
            continue
        complete = np.logical_and.reduce([~np.isnan(y).any(axis=1) for y in columns])
        complete = complete if perm is None else complete[perm]
        if is_target:
            # Drop what follows a group's last complete row (the whole group when it has none).
            last = np.maximum.reduceat(np.where(complete, offset, -1), heads)
            drop = offset > np.repeat(last, lengths[present])
        else:
            first = np.minimum.reduceat(np.where(complete, offset, computed), heads)
            drop = offset < np.repeat(first, lengths[present])
        keep[position[drop] if perm is None else perm[drop]] = False
    return keep
