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
