"""Run vexal's moving averages over real daily SPY bars and print a summary.

Usage: python -m vexal.demo [CSV] [--close COLUMN] [--window N]
"""

from __future__ import annotations

import argparse
import csv
import math
import pathlib
import sys
from importlib import resources

from vexal import Ema, Sma

DEFAULT_DATA = "SPY_D.csv"


class DataError(Exception):
    """A CSV file that cannot be read as numeric columns."""


def load_columns(path: pathlib.Path, names: list[str]) -> dict[str, list[float]]:
    """Reads the named numeric columns of a CSV file with a header row."""
    try:
        handle = path.open(newline="", encoding="utf-8")
    except OSError as exc:
        raise DataError(f"cannot open {path}: {exc.strerror or exc}") from None
    with handle:
        reader = csv.reader(handle)
        header = next(reader, None)
        if header is None:
            raise DataError(f"{path}: the file is empty")
        header = [h.strip() for h in header]
        missing = [n for n in names if n not in header]
        if missing:
            raise DataError(f"{path}: no column {', '.join(map(repr, missing))} (columns: {', '.join(header)})")
        positions = {n: header.index(n) for n in names}
        columns: dict[str, list[float]] = {n: [] for n in names}
        for line_no, row in enumerate(reader, start=2):
            if not row:
                continue
            for name, pos in positions.items():
                cell = row[pos].strip() if pos < len(row) else ""
                try:
                    columns[name].append(float(cell))
                except ValueError:
                    raise DataError(f"{path}, line {line_no}, column {name!r}: not a number: {cell!r}") from None
    return columns


def bundled_data() -> pathlib.Path:
    return pathlib.Path(str(resources.files("vexal") / "data" / DEFAULT_DATA))


def summarise(name: str, values: list[float]) -> str:
    present = [v for v in values if not math.isnan(v)]
    mean = sum(present) / len(present) if present else math.nan
    last = values[-1] if values else math.nan
    return f"{name:<10} {len(present):>8} {mean:>14.6f} {last:>14.6f}"


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m vexal.demo", description=__doc__.splitlines()[0])
    parser.add_argument("csv", nargs="?", type=pathlib.Path, help="OHLCV CSV file (default: bundled SPY daily bars)")
    parser.add_argument("--close", default="close", help="name of the close column (default: close)")
    parser.add_argument("--window", type=int, default=20, help="moving-average window (default: 20)")
    args = parser.parse_args(argv)
    path = args.csv or bundled_data()
    try:
        closes = load_columns(path, [args.close])[args.close]
    except DataError as exc:
        print(f"error: {exc}", file=sys.stderr)
        return 2
    try:
        sma = Sma([args.close], args.window, ["sma"])
        ema = Ema([args.close], args.window, ["ema"])
    except (ValueError, TypeError, OverflowError) as exc:
        print(f"error: {exc}", file=sys.stderr)
        return 2
    results = {"sma": [], "ema": []}
    for close in closes:
        results["sma"].append(sma.update([close])[0])
        results["ema"].append(ema.update([close])[0])
    print(f"{path.name}: {len(closes)} bars, window {args.window}, warm-up {sma.warm_up_period()} bars")
    print(f"{'column':<10} {'values':>8} {'mean':>14} {'last':>14}")
    print(summarise(args.close, closes))
    for name, values in results.items():
        print(summarise(name, values))
    return 0


if __name__ == "__main__":
    sys.exit(main())
