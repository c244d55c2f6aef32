"""Run a realistic vexal feature and target pipeline over daily OHLC bars.

Usage: python -m vexal.demo [CSV] [--open COL] [--high COL] [--low COL] [--close COL]

The features run twice: once in research mode over the whole file, once
live, bar by bar, as a trading process would feed them; half way through,
the live pipeline is saved to a snapshot file and a pipeline restored from
that file finishes the replay, as after a restart. Both runs must agree to
the last bit. The summary shows every column's count of values and mean,
the agreement and the throughput of each mode.
"""

from __future__ import annotations

import argparse
import csv
import datetime
import math
import pathlib
import struct
import sys
import tempfile
import time
from array import array
from importlib import resources
from typing import NamedTuple

from vexal import (
    Ema, FeaturePipeline, FixedZScore, FutureCTCVolatility, FutureLinearSlope, FutureReturn, Kama, Kurtosis,
    LinearSlope, LogReturn, ParkinsonVolatility, RogersSatchellVolatility, RollingZScore, SimpleReturn, Skewness,
    Sma, Subtract, TargetPipeline, fit_standard_scaler, load,
)
from vexal._demo_plot import draw, plotting_available

DEFAULT_DATA = "SPY_D.csv"
PRICES = ("open", "high", "low", "close")
# The pipelines' own input columns: the four prices under fixed names, plus
# the bar number, the x axis of the trend regressions.
INPUTS = [*PRICES, "bar"]
# The z-score of the MACD line is fitted on this leading share of the bars
# only, as it would be on a training split.
TRAIN_FRACTION = 0.7


class DataError(Exception):
    """Input that cannot be used: a missing file or column, or a bad cell."""


def load_columns(path: pathlib.Path, names: dict[str, str], date: str | None = None,
                 date_required: bool = False) -> tuple[dict[str, list[float]], list[Timestamp] | None, list[str]]:
    """Reads numeric columns of a CSV file with a header row, and its date column when it has one.

    `names` maps each wanted key to its column name in the file. An empty
    cell is a missing value (NaN); any other cell must be a number. A first
    line without the wanted columns is skipped as a banner when the second
    line has them. Returns the columns, the dates (each with its line number;
    None without a date column) and notes on what was skipped.
    """
    try:
        handle = path.open(newline="", encoding="utf-8")
    except OSError as exc:
        raise DataError(f"cannot open {path}: {exc.strerror or exc}") from None
    notes: list[str] = []
    with handle:
        reader = csv.reader(handle)
        try:
            header = next(reader, None)
            if header is None:
                raise DataError(f"{path}: the file is empty")
            header = [h.strip() for h in header]
            wanted = list(dict.fromkeys([*names.values(), *([date] if date_required else [])]))
            missing = [c for c in wanted if c not in header]
            if missing:
                second = [h.strip() for h in next(reader, None) or []]
                if not all(c in second for c in wanted):
                    raise DataError(f"{path}: no column {', '.join(map(repr, missing))} "
                                    f"(columns: {', '.join(h for h in header if h) or 'none'})")
                notes.append(f"line 1 is not the header but a banner, skipped: {','.join(header)!r}")
                header = second
            positions = {key: header.index(col) for key, col in names.items()}
            date_at = header.index(date) if date in header else None
            columns: dict[str, list[float]] = {key: [] for key in names}
            dates: list[Timestamp] | None = [] if date_at is not None else None
            for row in reader:
                if not row:
                    continue
                line = reader.line_num
                for key, pos in positions.items():
                    if pos >= len(row):
                        raise DataError(f"{path}, line {line}, column {names[key]!r}: "
                                        f"the row has only {len(row)} field(s)")
                    cell = row[pos].strip()
                    try:
                        columns[key].append(float(cell) if cell else math.nan)
                    except ValueError:
                        raise DataError(f"{path}, line {line}, column {names[key]!r}: "
                                        f"not a number: {cell!r}") from None
                if dates is not None:
                    cell = row[date_at].strip() if date_at < len(row) else ""
                    when = parse_time(cell)
                    if when is not None:
                        dates.append(Timestamp(when, line))
                    elif date_required:
                        raise DataError(f"{path}, line {line}, column {date!r}: not a date: {cell!r}")
                    else:
                        notes.append(f"column {date!r} does not hold dates (line {line}: {cell!r}): "
                                     f"the rows are taken in file order")
                        dates = None
        except UnicodeDecodeError as exc:
            raise DataError(f"{path}: not a UTF-8 text file ({exc.reason})") from None
        except csv.Error as exc:
            raise DataError(f"{path}, line {reader.line_num}: {exc}") from None
    return columns, dates, notes


class Timestamp(NamedTuple):
    when: datetime.datetime
    line: int


# Beside ISO 8601, the layouts market data files commonly use (the bundled
# hourly file writes "2019-10-17 09-AM").
TIME_FORMATS = ("%Y-%m-%d %I-%p", "%Y-%m-%d %I%p", "%m/%d/%Y", "%m/%d/%Y %H:%M", "%m/%d/%Y %H:%M:%S", "%Y%m%d")


def parse_time(cell: str) -> datetime.datetime | None:
    if not cell:
        return None
    try:
        return datetime.datetime.fromisoformat(cell)
    except ValueError:
        pass
    for layout in TIME_FORMATS:
        try:
            return datetime.datetime.strptime(cell, layout)
        except ValueError:
            continue
    return None


def into_time_order(path: pathlib.Path, columns: dict[str, list[float]], dates: list[Timestamp],
                    duplicates: str) -> tuple[dict[str, list[float]], list[Timestamp], list[str]]:
    """The bars sorted by date, refusing (or, with duplicates="last", thinning) repeated timestamps."""
    notes = []
    by_time: dict[datetime.datetime, list[int]] = {}
    for i, stamp in enumerate(dates):
        by_time.setdefault(stamp.when, []).append(i)
    repeated = {when: rows for when, rows in by_time.items() if len(rows) > 1}
    if repeated:
        if duplicates == "error":
            shown = [f"{when} on lines {', '.join(str(dates[i].line) for i in rows)}"
                     for when, rows in sorted(repeated.items())]
            more = f"; and {len(shown) - 5} more" if len(shown) > 5 else ""
            raise DataError(f"{path}: {len(repeated)} timestamp(s) appear more than once: {'; '.join(shown[:5])}{more} "
                            f"(--duplicates last keeps the last line of each)")
        dropped = sum(len(rows) - 1 for rows in repeated.values())
        notes.append(f"{dropped} row(s) repeat an earlier timestamp: kept the last line of each of "
                     f"{len(repeated)} timestamp(s)")
    keep = sorted((rows[-1] for rows in by_time.values()), key=lambda i: dates[i].when)
    backwards = sum(a > b for a, b in zip(keep, keep[1:]))
    if backwards == len(keep) - 1 > 0:
        notes.append("rows run newest first: reversed them into time order")
    elif backwards * 2 > len(keep):
        notes.append(f"rows run newest first, except at {len(keep) - 1 - backwards} place(s): "
                     f"sorted them into time order")
    elif backwards:
        notes.append(f"rows are not in time order ({backwards} step(s) back in time): sorted them by date")
    elif len(keep) == len(dates):
        return columns, dates, notes
    return {k: [v[i] for i in keep] for k, v in columns.items()}, [dates[i] for i in keep], notes


def bundled_data(name: str = DEFAULT_DATA) -> pathlib.Path:
    return pathlib.Path(str(resources.files("vexal") / "data" / name))


def data_path(given: pathlib.Path | None) -> pathlib.Path:
    """The file to read: the one given, else the bundled file of that bare name, else the daily SPY bars."""
    if given is None:
        return bundled_data()
    if not given.exists() and given.name == str(given) and bundled_data(given.name).is_file():
        return bundled_data(given.name)
    return given


def macd_features():
    return [Ema(["close"], 12, ["ema_12"]), Ema(["close"], 26, ["ema_26"]), Subtract(["ema_12", "ema_26"], ["macd"])]


def fit_macd(bars: list[list[float]]) -> tuple[float, float]:
    """Mean and standard deviation of the MACD line on the training bars."""
    train = bars[: int(len(bars) * TRAIN_FRACTION)]
    macd = FeaturePipeline(macd_features(), INPUTS)
    position = macd.output_names().index("macd")
    return fit_standard_scaler([row[position] for row in macd.run_research(train)])


def build_features(macd_mean: float, macd_std: float) -> FeaturePipeline:
    # Listed as they come to mind, not in dependency order: the pipeline
    # orders them by the columns they read.
    return FeaturePipeline(
        [
            RollingZScore(["logret_1"], 20, ["logret_1_z20"]),
            FixedZScore(["macd"], ["macd_z"], macd_mean, macd_std),
            SimpleReturn(["close"], 1, ["ret_1"]),
            LogReturn(["close"], 1, ["logret_1"]),
            LogReturn(["close"], 20, ["logret_20"]),
            Sma(["close"], 20, ["sma_20"]),
            *macd_features(),
            Kama(["close"], 10, ["kama_10"]),
            Skewness(["logret_1"], 60, ["skew_60"]),
            Kurtosis(["logret_1"], 60, ["kurt_60"]),
            LinearSlope(["bar", "close"], 20, ["trend_slope_20", "trend_r2_20"]),
            ParkinsonVolatility(["high", "low"], 20, ["parkinson_20"]),
            RogersSatchellVolatility(["high", "low", "open", "close"], 20, ["rogers_satchell_20"]),
        ],
        INPUTS,
    )


def build_targets() -> TargetPipeline:
    return TargetPipeline(
        [
            FutureReturn(["close"], 5, ["fwd_ret_5"]),
            FutureCTCVolatility("close", 20),
            FutureLinearSlope(["bar", "close"], 20, ["fwd_slope_20", "fwd_r2_20"]),
        ],
        INPUTS,
    )


def timed(run):
    start = time.perf_counter()
    result = run()
    return result, time.perf_counter() - start


def first_difference(a: list[list[float]], b: list[list[float]]):
    """(bar, column, a value, b value) of the first bitwise difference, NaN
    equal to NaN; None when both agree."""
    if len(a) != len(b):
        return (min(len(a), len(b)), None, None, None)
    for i, (x, y) in enumerate(zip(a, b)):
        if array("d", x).tobytes() == array("d", y).tobytes():
            continue
        if len(x) != len(y):
            return (i, None, x, y)
        for j, (u, v) in enumerate(zip(x, y)):
            if not (math.isnan(u) and math.isnan(v)) and struct.pack("<d", u) != struct.pack("<d", v):
                return (i, j, u, v)
    return None


def replay_with_restart(features: FeaturePipeline, bars: list[list[float]], stop: int):
    """Live results of every bar: the first `stop` from `features`, the rest
    from a pipeline restored from a snapshot file saved after bar `stop`,
    and the size of that file."""
    first = [features.update(bar) for bar in bars[:stop]]
    with tempfile.TemporaryDirectory() as folder:
        saved = pathlib.Path(folder) / "features.vexal"
        saved.write_bytes(features.snapshot())
        restored = load(saved.read_bytes())
        size = saved.stat().st_size
    return first + [restored.update(bar) for bar in bars[stop:]], size


def describe(name: str, values: list[float]) -> str:
    present = [v for v in values if not math.isnan(v)]
    mean = math.fsum(present) / len(present) if present else math.nan
    return f"  {name:<26}{len(present):>8}{mean:>18.8g}"


def rate(bars: int, seconds: float) -> str:
    per_second = f"{bars / seconds:,.0f} bars/s" if seconds > 0 else "too fast to time"
    return f"{bars} bars in {seconds * 1000:.1f} ms ({per_second})"


def parse_args(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="python -m vexal.demo", description=__doc__.splitlines()[0])
    parser.add_argument("csv", nargs="?", type=pathlib.Path,
                        help="CSV file with a header row (default: the bundled daily SPY bars; "
                             "Coinbase_BTCUSD_1h.csv names the bundled hourly Bitcoin bars)")
    for price in PRICES:
        parser.add_argument(f"--{price}", default=price, metavar="COL",
                            help=f"name of the {price} column (default: {price})")
    parser.add_argument("--date", metavar="COL",
                        help="name of the date column; the rows are put in its order (default: date, when present)")
    parser.add_argument("--duplicates", choices=("error", "last"), default="error",
                        help="a timestamp on several lines: refuse the file (default) or keep the last line")
    parser.add_argument("--plot", type=pathlib.Path, metavar="FILE.png",
                        help="draw the close, its moving averages, the range volatilities and the MACD z-score "
                             "(needs matplotlib)")
    return parser.parse_args(argv)


def main(argv: list[str] | None = None) -> int:
    args = parse_args(argv)
    path = data_path(args.csv)
    if args.plot is not None and not plotting_available():
        print("error: --plot needs matplotlib: pip install 'vexal[plot]'", file=sys.stderr)
        return 2
    try:
        prices, dates, notes = load_columns(path, {p: getattr(args, p) for p in PRICES}, args.date or "date",
                                            date_required=args.date is not None)
        if dates is not None:
            prices, dates, ordered = into_time_order(path, prices, dates, args.duplicates)
            notes += ordered
        if not prices["close"]:
            raise DataError(f"{path}: no bars: the file has a header and nothing below it")
    except DataError as exc:
        print(f"error: {exc}", file=sys.stderr)
        return 2
    n = len(prices["close"])
    columns = [prices[p] for p in PRICES] + [[float(i) for i in range(n)]]
    bars = [list(bar) for bar in zip(*columns)]

    try:
        features = build_features(*fit_macd(bars))
    except ValueError as exc:
        print(f"error: {path}: {n} bars are too few to fit the MACD z-score on the first "
              f"{TRAIN_FRACTION:.0%} of them ({exc})", file=sys.stderr)
        return 2
    targets = build_targets()

    research, research_s = timed(lambda: features.run_research(bars))
    features.reset()
    stop = n // 2
    (live, snapshot_size), live_s = timed(lambda: replay_with_restart(features, bars, stop))
    labels, labels_s = timed(lambda: targets.run_research(columns))

    names = features.output_names()
    for note in notes:
        print(f"note: {path.name}: {note}")
    print(f"{path.name}: {n} bars; {len(features)} features -> {len(names)} columns, "
          f"warm-up {features.warm_up_period()} bars; {len(targets)} targets -> "
          f"{len(targets.output_names())} columns, forward period {targets.forward_period()} bars")
    print(f"  {'column':<26}{'values':>8}{'mean':>18}")
    print("features")
    for j, name in enumerate(names):
        print(describe(name, [row[j] for row in research]))
    print("targets")
    for name, values in zip(targets.output_names(), labels):
        print(describe(name, values))
    print(f"research  {rate(n, research_s)}")
    print(f"live      {rate(n, live_s)}")
    print(f"targets   {rate(n, labels_s)}")
    if args.plot is not None:
        try:
            size = draw(args.plot, path.name, [d.when for d in dates] if dates else list(range(n)), prices,
                        dict(zip(names, zip(*research))))
        except (OSError, ValueError) as exc:
            print(f"error: cannot write the plot {args.plot}: {exc}", file=sys.stderr)
            return 2
        print(f"plot      {args.plot} ({size[0]}x{size[1]} px)")

    difference = first_difference(research, live)
    if difference is not None:
        bar, column, r, v = difference
        where = f"bar {bar}" + (f", column {names[column]!r}" if column is not None else "")
        print(f"agreement: FAILED at {where}: research {r!r}, live {v!r}")
        return 1
    print(f"agreement: live == research on all {n} bars x {len(names)} columns (bitwise, NaN == NaN)")
    print(f"restart:   live stopped after bar {stop}, saved to a {snapshot_size}-byte snapshot file; the "
          f"pipeline restored from it gave the other {n - stop} bars, all in agreement")
    return 0


if __name__ == "__main__":
    sys.exit(main())
