"""Integer codes for key columns of any dtype, so that grouping and ordering are numpy sorts."""

from __future__ import annotations

import numpy as np

from .panels import Keys
from .tables import Table


def codes(values: np.ndarray, sort: bool) -> np.ndarray:
    """One int64 code per value, -1 where it is absent; with `sort`, codes rise with the values."""
    try:
        import pandas as pd
    except ImportError:
        pd = None
    if pd is not None:
        return pd.factorize(values, sort=sort)[0].astype(np.int64, copy=False)
    if values.dtype.kind in "mM":
        absent = np.isnat(values)
    elif values.dtype.kind in "fc":
        absent = np.isnan(values)
    elif values.dtype.kind == "O":
        absent = np.array([v is None or v != v for v in values], dtype=bool)
    else:
        absent = np.zeros(len(values), dtype=bool)
    out = np.full(len(values), -1, dtype=np.int64)
    present = values[~absent]
    if values.dtype.kind == "O":
        distinct = sorted(set(present)) if sort else list(dict.fromkeys(present))
        index = {v: i for i, v in enumerate(distinct)}
        out[~absent] = [index[v] for v in present]
    else:
        out[~absent] = np.unique(present, return_inverse=True)[1].ravel()
    return out


def show(value: object) -> str:
    """A key value as a message shows it: strings quoted, times as "2017-11-12 04:00:00"."""
    if isinstance(value, np.datetime64):
        text = str(value).replace("T", " ")
        return text.split(".")[0] if set(text.partition(".")[2]) <= {"0"} else text
    if isinstance(value, np.generic):
        value = value.item()
    return repr(value) if isinstance(value, (str, bytes)) else str(value)


def keys_of(table: Table, by: list[str], order_by: str | None, what: str) -> Keys:
    columns = {name: table.values(name) for name in [*by, *([order_by] if order_by else [])]}
    groups = None
    if by:
        parts = []
        for name in by:
            c = codes(columns[name], sort=False)
            absent = np.flatnonzero(c < 0)
            if len(absent):
                raise ValueError(f"{what}: the key {name!r} is missing at row {int(absent[0])}")
            parts.append(c)
        groups = parts[0]
        for c in parts[1:]:
            groups = codes(groups * (int(c.max()) + 1) + c, sort=False)

    def describe_group(row: int) -> str:
        named = ", ".join(f"{name}={show(columns[name][row])}" for name in by)
        return named if len(by) == 1 else f"({named})"

    def describe_value(row: int) -> str:
        return show(columns[order_by][row]) if order_by else ""

    order = codes(columns[order_by], sort=True) if order_by else None
    return Keys(groups, order, order_by or "", describe_group, describe_value)
