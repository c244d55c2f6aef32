"""Runs pipelines over a panel held as one float matrix: groups from a clean state, each in row order or in the
order of a key, in parallel, with the results put back in the input's row order."""

from __future__ import annotations

import copy
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

    def run(self, pipeline: Any, data: np.ndarray, out: np.ndarray) -> None:
        (arrays.label if self.is_target else arrays.research)(pipeline, data, out=out)


@dataclass(frozen=True)
class Keys:
    """Integer codes of the grouping and ordering keys, and how to name a group or a value in a message."""

    groups: np.ndarray | None  # one code per row, or None for a single series
    order: np.ndarray | None  # one rank per row (-1 where absent), or None for row order
    order_name: str
    describe_group: Callable[[int], str]  # row -> "symbol='AAPL'"
    describe_value: Callable[[int], str]  # row -> the order_by value at that row


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
    """The rows in run order (None for 0..n-1) and the start of each group in that order, plus the end."""
    if keys.groups is None and keys.order is None:
        return None, np.array([0, n])
    groups = keys.groups if keys.groups is not None else np.zeros(n, dtype=np.int64)
    if keys.order is None:
        perm = np.argsort(groups, kind="stable")
    else:
        perm = np.lexsort((keys.order, groups))
    g = groups[perm]
    boundary = np.flatnonzero(g[1:] != g[:-1]) + 1
    if keys.order is not None:
        o = keys.order[perm]
        absent = np.flatnonzero(o < 0)
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
    starts = np.concatenate(([0], boundary, [len(perm)]))
    return perm, starts


def _in_group(keys: Keys, row: int) -> str:
    return f" in group {keys.describe_group(row)}" if keys.groups is not None else ""


def _progress_bar(enabled: bool, total: int, unit: str):
    if not enabled:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        raise ImportError("progress=True needs tqdm: pip install 'vexal[frames]'") from None
    return tqdm(total=total, unit=unit)


def run(jobs: list[Job], data: np.ndarray, keys: Keys, *, duplicates: str, workers: int | None, progress: bool,
        dropna: tuple[bool, bool], what: str) -> Result:
    """Runs every job over every group of `data` (rows x columns, float64).

    dropna is (leading warm-up rows of the features, trailing rows whose labels are absent).
    """
    n = len(data)
    perm, starts = _layout(n, keys, duplicates, what)
    spans = [(int(a), int(b)) for a, b in zip(starts[:-1], starts[1:]) if b > a]
    ordered = data if perm is None else data[perm]
    inputs = [np.ascontiguousarray(ordered[:, job.columns]) for job in jobs]
    outputs = [np.empty((len(ordered), job.width), dtype=np.float64) for job in jobs]

    count = max(1, min(workers or os.cpu_count() or 1, len(spans)))
    copies = [replicas(job.pipeline, count) for job in jobs]
    count = min(count, *(len(c) for c in copies))
    pool: queue.SimpleQueue[list[Any]] = queue.SimpleQueue()
    for i in range(count):
        pool.put([c[i] for c in copies])

    def run_span(span: tuple[int, int]) -> None:
        a, b = span
        mine = pool.get()
        try:
            for job, pipeline, x, y in zip(jobs, mine, inputs, outputs):
                job.run(pipeline, x[a:b], y[a:b])
        except BaseException as exc:
            if keys.groups is not None:
                row = int(perm[a]) if perm is not None else a
                exc.add_note(f"in group {keys.describe_group(row)}")
            raise
        finally:
            pool.put(mine)

    bar = _progress_bar(progress, len(spans) if keys.groups is not None else n,
                        "group" if keys.groups is not None else "bar")
    try:
        if count == 1:
            for span in spans:
                run_span(span)
                if bar is not None:
                    bar.update(1 if keys.groups is not None else span[1] - span[0])
        else:
            with ThreadPoolExecutor(max_workers=count) as executor:
                futures = [executor.submit(run_span, span) for span in spans]
                if bar is not None:
                    for future in futures:
                        future.add_done_callback(lambda _: bar.update(1))
                done, pending = wait(futures, return_when=FIRST_EXCEPTION)
                for future in pending:
                    future.cancel()
                for future in futures:
                    if future.done() and not future.cancelled():
                        future.result()
    finally:
        if bar is not None:
            bar.close()

    values = outputs[0] if len(outputs) == 1 else np.hstack(outputs)
    keep = _kept(jobs, outputs, spans, dropna, len(ordered))
    if perm is None:
        if keep is None:
            return Result(values, None)
        rows = np.flatnonzero(keep)
        return Result(values[rows], rows)
    if keep is not None:
        perm, values = perm[keep], values[keep]
    if len(perm) == n:
        full = np.empty_like(values)
        full[perm] = values
        return Result(full, None)
    order = np.argsort(perm, kind="stable")
    return Result(values[order], perm[order])


def _kept(jobs: list[Job], outputs: list[np.ndarray], spans: list[tuple[int, int]], dropna: tuple[bool, bool],
          n: int) -> np.ndarray | None:
    """Rows (in run order) that survive dropna, or None when no row is dropped."""
    warmup, labels = dropna
    if not (warmup or labels):
        return None
    keep = np.ones(n, dtype=bool)
    for is_target, wanted in ((False, warmup), (True, labels)):
        columns = [y for job, y in zip(jobs, outputs) if job.is_target == is_target and y.shape[1]]
        if not wanted or not columns:
            continue
        complete = np.logical_and.reduce([~np.isnan(y).any(axis=1) for y in columns])
        for a, b in spans:
            present = np.flatnonzero(complete[a:b])
            if not len(present):
                keep[a:b] = False
            elif is_target:
                keep[a + present[-1] + 1:b] = False
            else:
                keep[a:a + present[0]] = False
    return keep
