"""Research at array speed: numpy in, numpy out.

``research(features, data)`` and ``label(targets, data)`` take a 2-D array of
bars x input columns (in the pipeline's ``input_names()`` order, C or Fortran
order, float64, float32, integers or bool; NaN marks a missing value) and
return a float64 array of bars x outputs (``output_names()`` order, NaN where
a value is absent). The result is allocated once, or written into ``out``,
by the pipelines' native ``run_research_into``; the values are those of
``run_research``, bit for bit, and a feature pipeline is left as
``run_research`` leaves it.
"""

from __future__ import annotations

from typing import Any

import numpy as np

from _vexal import FeaturePipeline, TargetPipeline

__all__ = ["research", "label"]

# Item types the native path reads as they are; anything else is converted
# to float64 once, here.
_NATIVE_KINDS = {"f": (4, 8), "i": (1, 2, 4, 8), "u": (1, 2, 4, 8), "b": (1,)}


# Kinds whose conversion to float64 would lose or invent values: the imaginary part, or times as integers.
_REFUSED_KINDS = {"c": "complex numbers", "m": "durations", "M": "times"}


def refuse_kind(dtype: np.dtype, where: str) -> None:
    """A TypeError, as run_research_into gives for an item type it does not read, unless `dtype` converts to
    float64 without loss of meaning."""
    if dtype.kind in _REFUSED_KINDS:
        raise TypeError(f"{where}: unsupported dtype {dtype}, which holds {_REFUSED_KINDS[dtype.kind]} (expected "
                        f"float64, float32, an integer or bool)")


def _native(data: Any, where: str = "data") -> np.ndarray:
    array = np.asarray(data)
    refuse_kind(array.dtype, where)
    sizes = _NATIVE_KINDS.get(array.dtype.kind)
    if sizes is None or array.dtype.itemsize not in sizes or not array.dtype.isnative:
        array = array.astype(np.float64)
    return array


def _output(pipeline: FeaturePipeline | TargetPipeline, data: np.ndarray, out: np.ndarray | None) -> np.ndarray:
    if out is not None:
        return out
    bars = data.shape[0] if data.ndim >= 1 else 0
    return np.empty((bars, len(pipeline.output_names())), dtype=np.float64)


def research(features: FeaturePipeline, data: Any, out: np.ndarray | None = None, threads: int = 1) -> np.ndarray:
    """Every bar of ``data`` through ``features``, its transforms spread over
    ``threads``; returns ``out`` (or a new array) of shape (bars,
    len(features.output_names()))."""
    data = _native(data)
    out = _output(features, data, out)
    features.run_research_into(data, out, threads)
    return out


def label(targets: TargetPipeline, data: Any, out: np.ndarray | None = None) -> np.ndarray:
    """The labels of ``targets`` over ``data``; returns ``out`` (or a new
    array) of shape (bars, len(targets.output_names()))."""
    data = _native(data, "columns")
    out = _output(targets, data, out)
    targets.run_research_into(data, out)
    return out
