"""Features and labels for the tables researchers hold: pandas, polars, Arrow, Dask, numpy or plain mappings.

Each function reads the pipelines' input columns by name and returns the same kind it was given, one column per
output name, after the key columns the call names (`by`, `order_by`); a pandas index is kept. Absent values are NaN
for numpy and pandas, null for polars and Arrow. Rows come back in the input's order, except from a Dask DataFrame:
its result is lazy, each group computed on one worker, rows grouped by partition, each with its index label.
"""

from __future__ import annotations

from typing import Any, Sequence

import numpy as np

from _vexal import FeaturePipeline, TargetPipeline

from .. import arrays
from . import panels
from .keys import keys_of
from .tables import ArrayTable, is_dask, table_of

__all__ = ["research", "label", "dataset", "book_bars"]

DROPNA = {None: (False, False), "warmup": (True, False), "labels": (False, True), "both": (True, True)}


def research(features: FeaturePipeline, data: Any, out: Any = None, *, by: str | Sequence[str] | None = None,
             order_by: str | None = None, duplicates: str = "error", workers: int | None = None,
             progress: bool = False, dropna: str | None = None, cross: Sequence[Any] | None = None) -> Any:
    """Runs a FeaturePipeline over `data`, each group of `by` from a clean state, in `order_by` order.

    dropna="warmup" drops the leading rows of each group until every output has a value. `out` (numpy data
    only) is the array to write, as in vexal.arrays.research. Groups run on `workers` threads; one series
    spreads its transforms over them instead. `cross` (vexal.CrossRank, CrossZScore, CrossDemean) adds
    cross-sectional features, computed at each `order_by` value over the groups that have a row there, as a
    FeatureBook fed the panel date by date computes them; their columns follow the features'.
    """
    return _run("research", features, None, data, by, order_by, duplicates, workers, progress, dropna,
                (None, "warmup"), out, cross)


def label(targets: TargetPipeline, data: Any, out: Any = None, *, by: str | Sequence[str] | None = None,
          order_by: str | None = None, duplicates: str = "error", workers: int | None = None,
          progress: bool = False, dropna: str | None = None) -> Any:
    """Labels `data` with a TargetPipeline, each group of `by` on its own, in `order_by` order.

    dropna="labels" drops the trailing rows of each group whose labels are absent. `out` (numpy data only) is
    the array to write, as in vexal.arrays.label.
    """
    return _run("label", None, targets, data, by, order_by, duplicates, workers, progress, dropna,
                (None, "labels"), out)


def dataset(features: FeaturePipeline, targets: TargetPipeline, data: Any, *,
            by: str | Sequence[str] | None = None, order_by: str | None = None, duplicates: str = "error",
            workers: int | None = None, progress: bool = False, dropna: str | None = None,
            cross: Sequence[Any] | None = None) -> Any:
    """Features and labels side by side, features first (then the `cross` features, as in research).

    dropna: "warmup" (leading rows without every feature), "labels" (trailing rows without every label),
    "both", or None.
    """
    return _run("dataset", features, targets, data, by, order_by, duplicates, workers, progress, dropna,
                tuple(DROPNA), None, cross)


# The pipelines each call takes.
NEEDS = {"research": ("features",), "label": ("targets",), "dataset": ("features", "targets")}


def _check_pipelines(what: str, features: Any, targets: Any) -> None:
    import _vexal

    for value, cls, role in ((features, _vexal.FeaturePipeline, "features"),
                             (targets, _vexal.TargetPipeline, "targets")):
        if role in NEEDS[what] and not isinstance(value, cls):
            raise TypeError(f"{what}: {role} must be a {cls.__name__}, not {type(value).__name__}")


def _options(what: str, by: Any, order_by: Any, duplicates: Any, workers: Any, dropna: Any,
             allowed_dropna: tuple) -> list[str]:
    keys = [by] if isinstance(by, str) else list(by) if by is not None else []
    if not all(isinstance(k, str) for k in keys) or (by is not None and not keys):
        raise TypeError(f"{what}: by must be a column name or a non-empty list of column names, got {by!r}")
    if order_by is not None and not isinstance(order_by, str):
        raise TypeError(f"{what}: order_by must be a column name, got {order_by!r}")
    if order_by is not None and order_by in keys:
        raise ValueError(f"{what}: order_by {order_by!r} is also a key of by")
    if duplicates not in panels.DUPLICATES:
        raise ValueError(f"{what}: duplicates must be 'error' or 'last', got {duplicates!r}")
    if workers is not None and (not isinstance(workers, int) or isinstance(workers, bool) or workers < 1):
        raise ValueError(f"{what}: workers must be a positive integer or None, got {workers!r}")
    if dropna not in allowed_dropna:
        raise ValueError(f"{what}: dropna must be one of {', '.join(map(repr, allowed_dropna))}, got {dropna!r}")
    return keys


def _run(what, features, targets, data, by, order_by, duplicates, workers, progress, dropna, allowed_dropna,
         out=None, cross=None):
    _check_pipelines(what, features, targets)
    if isinstance(data, (list, tuple)):
        # Nested sequences are an array: bars x inputs, as vexal.arrays reads them.
        data = np.asarray(data, dtype=np.float64)
    keys = _options(what, by, order_by, duplicates, workers, dropna, allowed_dropna)
    pipelines = [p for p in (features, targets) if p is not None]
    names = [name for p in pipelines for name in p.output_names()]
    key_columns = [*keys, *([order_by] if order_by else [])]
    clash = [n for n in dict.fromkeys(names) if names.count(n) > 1 or n in key_columns]
    if clash:
        raise ValueError(f"{what}: the output name(s) {', '.join(map(repr, clash))} appear twice among the "
                         f"outputs and key columns")
    from ..cross import check_cross

    cross = check_cross(what, cross, names, features.input_names() if features is not None else [], order_by,
                        keys)
    if is_dask(data):
        from .clusters import run_dask

        if out is not None:
            raise TypeError(f"{what}: out is for a numpy array without dropna; this call builds its result")
        if cross:
            raise ValueError(f"{what}: cross on a Dask frame is not supported yet; compute() it first")
        # The cluster runs the groups: workers and progress are its own.

        return run_dask(what, features, targets, data, keys, order_by, duplicates, dropna)
    return run_local(what, features, targets, data, keys, order_by, duplicates, workers, progress, dropna, out,
                     cross=cross)


def _refuse_time_running_backwards(table, found, what) -> None:
    """Rows run in the order given when no order_by is named; where their index says when they happened, a step
    back in time (within a group) is a frame in the wrong order, and computing it would silently be wrong."""
    times = table.time_index()
    if times is None or len(times) < 2:
        return
    rows = np.arange(len(times)) if found.groups is None else np.argsort(found.groups, kind="stable")
    t = times.view(np.int64)[rows]
    same = np.ones(len(t) - 1, dtype=bool) if found.groups is None else found.groups[rows[1:]] == found.groups[rows[:-1]]
    nat = np.iinfo(np.int64).min  # NaT: no time to compare
    back = np.flatnonzero(same & (t[1:] < t[:-1]) & (t[1:] != nat) & (t[:-1] != nat))
    if len(back) == 0:
        return
    before, after = int(rows[back[0]]), int(rows[back[0] + 1])
    index = table.index()
    name = next((n for n, kind in zip(index.names, getattr(index, "dtypes", [index.dtype])) if kind.kind == "M"),
                None)
    fix = f"pass order_by={name!r} to sort the rows by it" if name else "sort it (sort_index()) or name it and pass order_by="
    group = f" within {found.describe_group(after)}" if found.groups is not None else ""
    from .keys import show

    raise ValueError(f"{what}: the rows are not in time order{group}: the index steps back from "
                     f"{show(times[before])} at row {before} to {show(times[after])} at row {after}; {fix}")


def run_local(what, features, targets, data, keys, order_by, duplicates, workers, progress, dropna, out=None,
              by_label=False, cross=()):
    inputs = list(dict.fromkeys(name for p in (features, targets) if p is not None for name in p.input_names()))
    table = table_of(data, (features if features is not None else targets).input_names(), what)
    if isinstance(table, ArrayTable) and (keys or order_by):
        raise ValueError(f"{what}: by and order_by need named columns; a numpy array has none")
    table.require([*inputs, *keys, *([order_by] if order_by else [])], what)
    direct = isinstance(table, ArrayTable) and dropna is None and not (features is not None and targets is not None) \
        and not cross
    if out is not None and not direct:
        raise TypeError(f"{what}: out is for a numpy array without dropna; this call builds its result")
    if direct:
        bar = panels.progress_bar(progress, table.length, "bar")
        if bar is None:
            return arrays.research(features, data, out) if targets is None else arrays.label(targets, data, out)
        try:
            if targets is None:
                return panels.research_in_slices(features, data, out, bar.update)
            # Labels need the whole future: one call, the bar moves once.
            result = arrays.label(targets, data, out)
            bar.update(table.length)
            return result
        finally:
            bar.close()
    matrix = table.floats(inputs)
    jobs = [panels.Job(p, [inputs.index(n) for n in p.input_names()], p is targets)
            for p in (features, targets) if p is not None]
    # Factorizing keys sorts them: on a helper thread, so that Ctrl-C need not wait for it.
    found = panels.interruptible(keys_of, table, keys, order_by, what, by_label)
    if order_by is None:
        _refuse_time_running_backwards(table, found, what)
    names = [name for job in jobs for name in job.pipeline.output_names()]
    extra = None
    if cross:
        from ..cross import panel_columns

        dates = _order_codes(table, order_by)
        extra = lambda values, computed: panel_columns(cross, values, names, matrix, inputs, dates, computed)  # noqa: E731
    result = panels.run(jobs, matrix, found, duplicates=duplicates,
                        workers=workers, progress=progress, dropna=DROPNA[dropna], what=what, extra=extra)
    names = names + [c.output_names()[0] for c in cross]
    return table.build([*keys, *([order_by] if order_by else [])], names, result.values, result.rows)


def _order_codes(table, order_by):
    """One int64 code per row for its order_by value, equal values equal codes, -1 where it is missing."""
    from .codes import codes

    values = table.values(order_by)
    if values.dtype.kind in "mM":
        return np.where(np.isnat(values), -1, codes(values.view(np.int64), sort=False))
    return codes(values, sort=False)


def book_bars(book: Any, data: Any, *, by: str | None = None) -> tuple[np.ndarray, np.ndarray]:
    """One bar of a FeatureBook from a DataFrame, an Arrow table or a mapping of columns: a row per symbol that
    traded, named by its `by` column (or, for pandas, its index). Returns (bars, present) in the book's symbol
    order, for book.update(*book_bars(book, frame, by="symbol")): symbols without a row are not present."""
    import _vexal

    what = "book_bars"
    if not isinstance(book, _vexal.FeatureBook):
        raise TypeError(f"{what}: book must be a FeatureBook, not {type(book).__name__}")
    inputs = book.input_names()
    table = table_of(data, inputs, what)
    if isinstance(table, ArrayTable):
        raise TypeError(f"{what}: a numpy array is already bars: pass it to book.update directly")
    table.require([*inputs, *([by] if by else [])], what)
    if by is not None:
        symbols = table.values(by)
    elif table.index() is not None:
        symbols = np.asarray(table.index())
    else:
        raise ValueError(f"{what}: name the column holding the symbols with by=")
    position = {s: i for i, s in enumerate(book.symbols)}
    rows = np.array([position.get(str(s), -1) for s in symbols], dtype=np.int64)
    unknown = [str(s) for s, r in zip(symbols, rows) if r < 0]
    if unknown:
        raise ValueError(f"{what}: {', '.join(map(repr, unknown[:5]))} not in the book")
    if len(np.unique(rows)) != len(rows):
        raise ValueError(f"{what}: a symbol has more than one row")
    bars = np.full((len(book), len(inputs)), np.nan)
    bars[rows] = table.floats(inputs)
    present = np.zeros(len(book), dtype=bool)
    present[rows] = True
    return bars, present
