"""Integer codes for key columns of any dtype, so that grouping and ordering are numpy sorts."""

from __future__ import annotations

import numpy as np


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


def in_appearance_order(raw: np.ndarray) -> np.ndarray | None:
    """Signed integer codes (-1 absent) renumbered by first appearance, as factorizing them would, found from a
    few rows: the first ones (a panel stored date by date names every symbol at once), or the first row of each
    run when there are few runs (a panel stored group by group). None when neither finds every code. The codes
    keep their type, which may be narrower than int64."""
    if len(raw) == 0:
        return None
    top = int(raw.max())
    order = [c for c in dict.fromkeys(raw[:4 * (top + 1)].tolist()) if c >= 0]
    complete = len(order) == top + 1
    if not complete:
        starts = np.flatnonzero(raw[1:] != raw[:-1]) + 1
        if len(starts) <= len(raw) // 64:
            # Every code's first row begins a run.
            order = [c for c in dict.fromkeys(raw[np.concatenate(([0], starts))].tolist()) if c >= 0]
            complete = True
    if complete and order == list(range(len(order))):
        return raw  # numbered by appearance already
    # Codes not found map to -2, and finding one in the result means the rows looked at missed it (an unused
    # category maps nowhere and is never found). The last slot stays -1: where an absent code (-1) looks.
    lookup = np.full(top + 2, -2, dtype=raw.dtype)
    lookup[-1] = -1
    lookup[order] = np.arange(len(order))
    renumbered = lookup[raw]
    return renumbered if complete or renumbered.min() >= -1 else None
