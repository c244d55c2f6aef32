"""Stand-in for the column engine's array functions, on the list-based run_research, until the native path lands.

research(features, data, out=None) and label(targets, data, out=None): a 2-D array of bars x inputs (columns in
the pipeline's input_names() order) in, a float64 array of bars x outputs (output_names() order, NaN where
absent) out.
"""

from __future__ import annotations

import numpy as np

__all__ = ["research", "label"]


def _check(pipeline, data, out, what: str) -> tuple[np.ndarray, np.ndarray]:
    data = np.asarray(data, dtype=np.float64)
    inputs, outputs = pipeline.input_names(), pipeline.output_names()
    if data.ndim != 2 or data.shape[1] != len(inputs):
        raise ValueError(f"{what}: data must have shape (bars, {len(inputs)}) for the inputs {inputs}, "
                         f"got {data.shape}")
    shape = (data.shape[0], len(outputs))
    if out is None:
        out = np.empty(shape, dtype=np.float64)
    elif not isinstance(out, np.ndarray) or out.dtype != np.float64 or out.shape != shape:
        raise ValueError(f"{what}: out must be a float64 array of shape {shape}")
    return data, out


def research(features, data, out=None) -> np.ndarray:
    data, out = _check(features, data, out, "research")
    if len(data):
        out[...] = features.run_research(np.ascontiguousarray(data))
    return out


def label(targets, data, out=None) -> np.ndarray:
    data, out = _check(targets, data, out, "label")
    if len(data):
        out[...] = np.asarray(targets.run_research(list(data.T)), dtype=np.float64).T
    return out
