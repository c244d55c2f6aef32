"""The grouping and ordering keys of a call, as codes, and how messages name their values."""

from __future__ import annotations

import numpy as np

from .codes import codes
from .panels import Keys
from .tables import Table


def show(value: object) -> str:
    """A key value as a message shows it: strings quoted, times as "2017-11-12 04:00:00"."""
    if isinstance(value, np.datetime64):
        text = str(value).replace("T", " ")
        return text.split(".")[0] if set(text.partition(".")[2]) <= {"0"} else text
    if isinstance(value, np.generic):
        value = value.item()
    return repr(value) if isinstance(value, (str, bytes)) else str(value)


def keys_of(table: Table, by: list[str], order_by: str | None, what: str, by_label: bool = False) -> Keys:
    """With `by_label`, messages name rows by their index label rather than their position."""
    index = table.index() if by_label else None

    def describe_row(row: int) -> str:
        return f"row {row}" if index is None else f"the row labelled {show(index[row])}"

    groups = None
    if by:
        parts = []
        for name in by:
            c = table.codes(name, sort=False)
            absent = np.flatnonzero(c < 0)
            if len(absent):
                raise ValueError(f"{what}: the key {name!r} is missing at {describe_row(int(absent[0]))}")
            parts.append(c)
        groups = parts[0]
        for c in parts[1:]:
            groups = codes(groups.astype(np.int64) * (int(c.max()) + 1) + c, sort=False)
    shown: dict[str, np.ndarray] = {}

    def value(name: str, row: int) -> str:
        # Read only when a message needs it: a failure's path, not every call's.
        if name not in shown:
            shown[name] = table.values(name)
        return show(shown[name][row])

    def describe_group(row: int) -> str:
        named = ", ".join(f"{name}={value(name, row)}" for name in by)
        return named if len(by) == 1 else f"({named})"

    def describe_value(row: int) -> str:
        return value(order_by, row) if order_by else ""

    order, absent = _order(table, order_by) if order_by else (None, None)
    return Keys(groups, order, order_by or "", describe_group, describe_value, absent, describe_row)


def _order(table: Table, name: str) -> tuple[np.ndarray, np.ndarray | None]:
    """Integers or times order as they are (a missing time is the smallest integer, as -1 is the smallest code):
    no ranks to compute. Anything else becomes sorted codes."""
    values = table.values(name)
    if values.dtype.kind in "iu":
        return values, np.zeros(len(values), dtype=bool)
    if values.dtype.kind in "mM":
        return values.view(np.int64), np.isnat(values)
    return table.codes(name, sort=True), None
