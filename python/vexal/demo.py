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
import math
import pathlib
import struct
import sys
import tempfile
import time
from array import array
from importlib import resources

from vexal import (
    Ema, FeaturePipeline, FixedZScore, FutureCTCVolatility, FutureLinearSlope, FutureReturn, Kama, Kurtosis,
    LinearSlope, LogReturn, ParkinsonVolatility, RogersSatchellVolatility, RollingZScore, SimpleReturn, Skewness,
    Sma, Subtract, TargetPipeline, fit_standard_scaler, load,
)

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


def load_columns(path: pathlib.Path, names: dict[str, str]) -> dict[str, list[float]]:
    """Reads numeric columns of a CSV file with a header row.

    `names` maps each wanted key to its column name in the file. An empty
    cell is a missing value (NaN); any other cell must be a number.
    """
    try:
        handle = path.open(newline="", encoding="utf-8")
    except OSError as exc:
        raise DataError(f"cannot open {path}: {exc.strerror or exc}") from None
    with handle:
        reader = csv.reader(handle)
        try:
            header = next(reader, None)
            if header is None:
                raise DataError(f"{path}: the file is empty")
            header = [h.strip() for h in header]
            missing = [c for c in dict.fromkeys(names.values()) if c not in header]
            if missing:
                raise DataError(f"{path}: no column {', '.join(map(repr, missing))} "
                                f"(columns: {', '.join(h for h in header if h) or 'none'})")
            positions = {key: header.index(col) for key, col in names.items()}
            columns: dict[str, list[float]] = {key: [] for key in names}
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
        except UnicodeDecodeError as exc:
            raise DataError(f"{path}: not a UTF-8 text file ({exc.reason})") from None
        except csv.Error as exc:
            raise DataError(f"{path}, line {reader.line_num}: {exc}") from None
    return columns


def bundled_data() -> pathlib.Path:
    return pathlib.Path(str(resources.files("vexal") / "data" / DEFAULT_DATA))


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
                        help="CSV file with a header row (default: the bundled daily SPY bars)")
    for price in PRICES:
        parser.add_argument(f"--{price}", default=price, metavar="COL",
                            help=f"name of the {price} column (default: {price})")
    return parser.parse_args(argv)


def main(argv: list[str] | None = None) -> int:
    args = parse_args(argv)
    path = args.csv or bundled_data()
    try:
        prices = load_columns(path, {p: getattr(args, p) for p in PRICES})
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
