"""Reads the columns a call needs from whatever table the caller holds, and builds the result in the same kind.

Every kind becomes a `Table`: float columns by name, key columns as numpy arrays, and a `build` that returns the
result as the caller's own type. DataFrames and Arrow tables go through narwhals, so one path serves every backend.
"""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any

import numpy as np

from ..arrays import refuse_kind
from .codes import codes, in_appearance_order

KINDS = ("a pandas or polars DataFrame, a polars LazyFrame, a pyarrow Table, a Dask DataFrame, "
         "a 2-D numpy array or a mapping of column name to 1-D array")


class Table:
    """The caller's data, columns by name."""

    columns: list[str]
    length: int

    def floats(self, names: list[str]) -> np.ndarray:
        """rows x len(names), float64 in any memory order, NaN where a value is absent."""
        raise NotImplementedError

    def values(self, name: str) -> np.ndarray:
        raise NotImplementedError

    def codes(self, name: str, sort: bool) -> np.ndarray:
        """One integer code per row (int64, or narrower for a categorical), -1 where the key is absent; with `sort`,
        codes rise with the values."""
        return codes(self.values(name), sort)

    def index(self) -> Any:
        """The row labels, where the table has any."""
        return None

    def build(self, keys: list[str], names: list[str], values: np.ndarray, rows: np.ndarray | None) -> Any:
        """The result: the key columns, then one column per name; `rows` are the input rows kept (None: all)."""
        raise NotImplementedError

    # Index levels that may stand for key columns (pandas keeps time in its index).
    levels: list[str] = []

    def require(self, names: list[str], what: str) -> None:
        missing = [n for n in dict.fromkeys(names) if n not in self.columns and n not in self.levels]
        if missing:
            levels = f"; index levels: {', '.join(map(str, self.levels))}" if self.levels else ""
            raise ValueError(f"{what}: the data has no column {', '.join(map(repr, missing))} "
                             f"(columns: {', '.join(map(str, self.columns)) or 'none'}{levels})")

    def time_index(self) -> np.ndarray | None:
        """The row times, where the rows carry them in their index (a pandas DatetimeIndex), or None."""
        return None


class ArrayTable(Table):
    """A 2-D numpy array whose columns are, in order, the names the pipeline reads."""

    def __init__(self, data: np.ndarray, columns: list[str], what: str):
        refuse_kind(data.dtype, f"{what}: data")
        if data.ndim != 2 or data.shape[1] != len(columns):
            raise ValueError(f"{what}: a numpy array must have shape (bars, {len(columns)}), one column per input "
                             f"{columns}, got shape {data.shape}")
        self.data, self.columns, self.length = data, columns, data.shape[0]

    def floats(self, names: list[str]) -> np.ndarray:
        if names == self.columns:
            return np.ascontiguousarray(self.data, dtype=np.float64)
        return np.ascontiguousarray(self.data[:, [self.columns.index(n) for n in names]], dtype=np.float64)

    def values(self, name: str) -> np.ndarray:
        return self.data[:, self.columns.index(name)]

    def require(self, names: list[str], what: str) -> None:
        missing = [n for n in dict.fromkeys(names) if n not in self.columns]
        if missing:
            raise ValueError(f"{what}: a numpy array holds the columns {self.columns} in that order; "
                             f"{', '.join(map(repr, missing))} is not among them")

    def build(self, keys, names, values, rows):
        return values


class MappingTable(Table):
    """A mapping of column name to 1-D array; the result is a dict of numpy arrays."""

    def __init__(self, data: Mapping[Any, Any], what: str):
        self.arrays = {name: np.asarray(column) for name, column in data.items()}
        self.columns = list(self.arrays)
        lengths = {name: a.shape for name, a in self.arrays.items()}
        for name, shape in lengths.items():
            if len(shape) != 1:
                raise ValueError(f"{what}: column {name!r} must be 1-D, got shape {shape}")
        if len({s[0] for s in lengths.values()}) > 1:
            raise ValueError(f"{what}: the columns differ in length: "
                             + ", ".join(f"{name!r} has {shape[0]}" for name, shape in lengths.items()))
        self.length = next(iter(lengths.values()))[0] if lengths else 0
        self.what = what

    def floats(self, names: list[str]) -> np.ndarray:
        out = np.empty((self.length, len(names)), dtype=np.float64)
        for j, name in enumerate(names):
            column = self.arrays[name]
            if not (np.issubdtype(column.dtype, np.number) or column.dtype == bool):
                raise TypeError(f"{self.what}: column {name!r} is not numeric (dtype {column.dtype})")
            refuse_kind(column.dtype, f"{self.what}: column {name!r}")
            out[:, j] = column
        return out

    def values(self, name: str) -> np.ndarray:
        return self.arrays[name]

    def build(self, keys, names, values, rows):
        result = {key: self.arrays[key] if rows is None else self.arrays[key][rows] for key in keys}
        result.update({name: values[:, j] for j, name in enumerate(names)})
        return result


class FrameTable(Table):
    """A DataFrame, LazyFrame or Arrow table, read and rebuilt through narwhals."""

    def __init__(self, native: Any, what: str):
        import narwhals as nw

        self.nw = nw
        frame = nw.from_native(native)
        self.lazy = isinstance(frame, nw.LazyFrame)
        self.frame = frame.collect() if self.lazy else frame
        self.columns = list(self.frame.columns)
        self.length = len(self.frame)
        self.what = what
        # pandas itself gets a few direct calls where narwhals would copy.
        self.pandas = None
        if self.frame.implementation is nw.Implementation.PANDAS:
            import pandas

            self.pandas = pandas
            # A level's name serves as a key where no column has it, as in pandas' own groupby.
            self.levels = [n for n in self.frame.to_native().index.names if isinstance(n, str) and n not in self.columns]

    def _level(self, name: str) -> Any:
        return self.frame.to_native().index.get_level_values(name)

    def time_index(self) -> np.ndarray | None:
        if self.pandas is None:
            return None
        index = self.frame.to_native().index
        if isinstance(index, self.pandas.MultiIndex):
            # The one level of times, if there is exactly one.
            times = [level for level in range(index.nlevels) if index.levels[level].dtype.kind == "M"]
            return index.get_level_values(times[0]).to_numpy() if len(times) == 1 else None
        if not isinstance(index, self.pandas.DatetimeIndex):
            return None
        return index.to_numpy()

    def floats(self, names: list[str]) -> np.ndarray:
        nw, schema = self.nw, self.frame.schema
        for name in names:
            dtype = schema[name]
            if not (dtype.is_numeric() or dtype == nw.Boolean):
                raise TypeError(f"{self.what}: column {name!r} is not numeric (dtype {dtype})")
        if not names:
            return np.empty((self.length, 0), dtype=np.float64)
        if self.pandas is not None and all(schema[name] == nw.Float64 for name in names):
            # pandas' float64 holds absent values as NaN already: its block as it is, in whatever order.
            return np.asarray(self.frame.to_native()[names].to_numpy(dtype=np.float64))
        # Elsewhere absent values are nulls.
        floats = self.frame.select(nw.col(*names).cast(nw.Float64).fill_null(float("nan")))
        return np.asarray(floats.to_numpy(), dtype=np.float64)

    def values(self, name: str) -> np.ndarray:
        if name in self.levels:
            return self._level(name).to_numpy()
        return self.frame[name].to_numpy()

    def index(self) -> Any:
        return self.nw.maybe_get_index(self.frame)

    def codes(self, name: str, sort: bool) -> np.ndarray:
        if self.pandas is not None:
            # Straight from the pandas column: a categorical gives its codes without building objects.
            native = self._level(name) if name in self.levels else self.nw.to_native(self.frame[name])
            if not sort and name not in self.levels and isinstance(native.dtype, self.pandas.CategoricalDtype):
                quick = in_appearance_order(native.cat.codes.to_numpy())
                if quick is not None:
                    return quick
            return self.pandas.factorize(native, sort=sort)[0].astype(np.int64, copy=False)
        return codes(self.values(name), sort)

    def build(self, keys, names, values, rows):
        nw = self.nw
        index = nw.maybe_get_index(self.frame)
        if self.pandas is not None:
            native = self.frame.to_native()
            result = self.pandas.DataFrame(values, columns=names, copy=False,
                                           index=index if rows is None else index.take(rows))
            # A key that is an index level stays where it is, in the index.
            for i, key in enumerate(k for k in keys if k not in self.levels):
                # The column's array, not the Series: nothing to align, even on repeated index labels.
                column = native[key].array
                result.insert(i, key, column if rows is None else column.take(rows))
            return result
        implementation = self.frame.implementation
        head = self.frame.select(keys)
        if rows is not None:
            head = head[rows]
        series = [nw.new_series(name, values[:, j], backend=implementation) for j, name in enumerate(names)]
        if keys:
            result = head.with_columns(*series)
        else:
            result = nw.from_dict({s.name: s for s in series}, backend=implementation)
        # The pipelines' NaN means "no value": that is a null in Arrow and polars.
        result = result.with_columns(nw.col(*names).fill_nan(None)) if names else result
        native = result.to_native()
        return native.lazy() if self.lazy else native


def is_dask(data: Any) -> bool:
    module = type(data).__module__
    return module.startswith("dask.") or module.startswith("dask_expr")


def table_of(data: Any, array_columns: list[str], what: str) -> Table:
    if isinstance(data, np.ndarray):
        return ArrayTable(data, array_columns, what)
    if isinstance(data, Mapping):
        return MappingTable(data, what)
    try:
        import narwhals as nw
    except ImportError:
        nw = None
    if nw is not None:
        try:
            nw.from_native(data)
        except TypeError:
            pass
        else:
            return FrameTable(data, what)
    raise TypeError(f"{what}: data must be {KINDS}, not {type(data).__name__}")

