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
    """Signed integer codes (-1 absent) renumbered by first appearance, as factorizing them would, when they come
    in few runs (a panel stored group by group): only each run's first row needs looking at. None for many runs.
    The codes keep their type, which may be narrower than int64."""
    if len(raw) == 0:
        return None
    starts = np.flatnonzero(raw[1:] != raw[:-1]) + 1
    if len(starts) > len(raw) // 64:
        return None
    heads = raw[np.concatenate(([0], starts))].tolist()
    distinct = [c for c in dict.fromkeys(heads) if c >= 0]
    if distinct == list(range(len(distinct))):
        return raw  # numbered by appearance already
    # One slot past the largest code stays -1: where an absent code (-1) looks. The codes keep their narrow
    # type: the lookup's values fit it, as the codes did.
    lookup = np.full(int(raw.max()) + 2, -1, dtype=raw.dtype)
    lookup[distinct] = np.arange(len(distinct))
    return lookup[raw]
