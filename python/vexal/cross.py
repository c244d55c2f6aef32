"""Cross-sectional features: where a symbol stands against the others at the same bar.

Given to ``FeatureBook(pipeline, symbols, cross=[...])`` for live trading and to ``vexal.research(...,
by="symbol", order_by="date", cross=[...])`` for a panel, they are computed at each bar over the symbols
present with a finite value, after the per-symbol features, with the same bits in both. Sums are correctly
rounded (as ``math.fsum``), so no value depends on the order the symbols are held in. With ``groups=``, the
name of an input column holding integer group codes (a sector), each is computed within each group.
"""

from __future__ import annotations

from collections.abc import Sequence

__all__ = ["CrossRank", "CrossZScore", "CrossDemean"]


class _Cross:
    _kind = ""

    def __init__(self, inputs: Sequence[str], outputs: Sequence[str], groups: str | None = None):
        inputs, outputs = list(inputs), list(outputs)
        if isinstance(inputs, str) or len(inputs) != 1 or not isinstance(inputs[0], str):
            raise ValueError(f"{self._kind}: inputs must contain exactly 1 column name, got {inputs!r}")
        if len(outputs) != 1 or not isinstance(outputs[0], str):
            raise ValueError(f"{self._kind}: outputs must contain exactly 1 name, got {outputs!r}")
        if groups is not None and not isinstance(groups, str):
            raise TypeError(f"{self._kind}: groups must be a column name or None, not {type(groups).__name__}")
        self._input, self._output, self._groups = inputs[0], outputs[0], groups

    def input_names(self) -> list[str]:
        return [self._input] + ([self._groups] if self._groups is not None else [])

    def output_names(self) -> list[str]:
        return [self._output]

    @property
    def groups(self) -> str | None:
        return self._groups

    def _cross_config(self) -> tuple[str, str, str, str | None]:
        return (self._kind, self._input, self._output, self._groups)

    def __repr__(self) -> str:
        groups = f", groups={self._groups!r}" if self._groups is not None else ""
        return f"{self._kind}(inputs={[self._input]!r}, outputs={[self._output]!r}{groups})"

    def __eq__(self, other: object) -> bool:
        return type(other) is type(self) and other._cross_config() == self._cross_config()

    def __hash__(self) -> int:
        return hash(self._cross_config())


class CrossRank(_Cross):
    """The symbol's rank among the present symbols: average rank of ties over the count, as pandas'
    ``rank(method="average", pct=True)``."""

    _kind = "CrossRank"


class CrossZScore(_Cross):
    """(x - mean) / sqrt(m2 / (n - 1)) over the present symbols, m2 the sum of squared deviations; NaN below
    two values or with no spread."""

    _kind = "CrossZScore"


class CrossDemean(_Cross):
    """x minus the mean of the present symbols."""

    _kind = "CrossDemean"


def check_cross(what: str, cross: object, columns: list[str], inputs: list[str], order_by: str | None,
                keys: list[str]) -> list[_Cross]:
    """The cross features of a research call, checked against the columns they read, before anything runs."""
    if cross is None:
        return []
    crosses = list(cross) if isinstance(cross, (list, tuple)) else None
    if crosses is None or not all(isinstance(c, _Cross) for c in crosses):
        raise TypeError(f"{what}: cross must be a list of CrossRank, CrossZScore or CrossDemean")
    if crosses and (order_by is None or not keys):
        raise ValueError(f"{what}: cross needs by= (the symbols) and order_by= (the dates they are compared at)")
    taken = set(columns) | set(keys) | {order_by}
    for c in crosses:
        if c._input not in columns and c._input not in inputs:
            raise ValueError(f"{what}: {c!r} reads {c._input!r}, which is neither an input nor an output")
        if c._groups is not None and c._groups not in inputs:
            raise ValueError(f"{what}: {c!r}: groups {c._groups!r} must be one of the pipeline's input columns")
        if c._output in taken:
            raise ValueError(f"{what}: {c!r} writes {c._output!r}, which is already a column of the result")
        taken.add(c._output)
    return crosses


def panel_columns(crosses: list[_Cross], values, names: list[str], matrix, inputs: list[str], dates, computed):
    """The cross features of a panel, one column each: rows sharing a date (`dates`, integer codes, -1 for none)
    are compared among themselves, over the rows that were computed, by the same native step as a FeatureBook's
    bar, so the two agree to the bit."""
    import numpy as np

    import _vexal

    n = len(values)
    order = np.argsort(dates, kind="stable")
    dated = order[dates[order] >= 0]
    if computed is not None:
        dated = dated[computed[dated]]
    sorted_dates = dates[dated]
    starts = np.concatenate(([0], np.flatnonzero(sorted_dates[1:] != sorted_dates[:-1]) + 1,
                             [len(dated)])).astype(np.int64)
    out = np.full((n, len(crosses)), np.nan)
    for k, c in enumerate(crosses):
        source = values[:, names.index(c._input)] if c._input in names else matrix[:, inputs.index(c._input)]
        x = np.ascontiguousarray(source[dated], dtype=np.float64)
        groups = None if c._groups is None else \
            np.ascontiguousarray(matrix[dated, inputs.index(c._groups)], dtype=np.float64)
        y = np.empty(len(dated))
        _vexal._cross_section(c._kind, x, y, starts, groups)
        out[dated, k] = y
    return out
