"""Two builds of the extension side by side in one process: the live and
research rows a core change can move, each timed interleaved round by round
(the order rotating), with the new build's time over the old one's.

    git worktree add /tmp/old HEAD~1 && (cd /tmp/old && cmake --preset release \\
        && cmake --build --preset release --target _vexal)
    cmake --build --preset release --target _vexal
    python bench/versus.py /tmp/old/build/release build/release

Each argument is a folder holding a built _vexal. numpy is needed; the
bundled data (or ../shared/data) gives the bars.
"""

from __future__ import annotations

import argparse
import gc
import importlib.machinery
import importlib.util
import pathlib
import statistics
import sys
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).parent))
harness = None  # imported once a build is on the path: it needs a _vexal
WINDOW = 20


def load(folder: str):
    path = next(pathlib.Path(folder).glob("_vexal*.so"))
    loader = importlib.machinery.ExtensionFileLoader("_vexal", str(path))
    module = importlib.util.module_from_spec(importlib.util.spec_from_file_location("_vexal", str(path), loader=loader))
    loader.exec_module(module)
    return module


def twelve(vx):
    harness.vx = vx
    return harness.twelve()


def five(vx):
    return [
        vx.Sma(["close"], WINDOW, ["sma"]),
        vx.Rsi(["close"], 14, ["rsi"]),
        vx.Atr(["high", "low", "close"], 14, ["atr"]),
        vx.BollingerBands(["close"], WINDOW, ["mid", "up", "lo", "pb", "bw"]),
        vx.Macd(["close"], ["m", "ms", "mh"]),
    ]


def live(make, bars, peek=False):
    """Updates (or peeks, after 200 bars of updates, as the peek group
    does) over the bars, one call each."""

    def side():
        obj = make()
        if peek:
            for b in bars[:200]:
                obj.update(b)
        call = obj.peek if peek else obj.update
        t0 = time.perf_counter_ns()
        for b in bars:
            call(b)
        return time.perf_counter_ns() - t0

    return side


def into(pipeline, table):
    """run_research_into over the table, into an array allocated once."""
    out = np.empty((len(table), len(pipeline.output_names())))

    def side():
        t0 = time.perf_counter_ns()
        pipeline.run_research_into(table, out)
        return time.perf_counter_ns() - t0

    return side


def research(vx, transforms, table):
    return into(vx.FeaturePipeline(transforms, harness.OHLCV), table)


def targets(vx, table):
    """The research group's three targets over (t, close)."""
    pipeline = vx.TargetPipeline(
        [
            vx.FutureReturn(["close"], WINDOW, ["fret"]),
            vx.FutureCTCVolatility("close", WINDOW),
            vx.FutureLinearSlope(["t", "close"], WINDOW, ["fslope", "fr2"]),
        ],
        ["t", "close"],
    )
    times = np.arange(len(table), dtype=np.float64)
    return into(pipeline, np.ascontiguousarray(np.column_stack([times, table[:, 3]])))


def composed(vx):
    """Transforms built from others or from a recursion's seeded step, one of each shape."""
    hlc = ["high", "low", "close"]
    return {
        "Rsi": [vx.Rsi(["close"], 14, ["x"])],
        "Atr": [vx.Atr(hlc, 14, ["x"])],
        "Macd": [vx.Macd(["close"], ["m", "s", "h"])],
        "Adx": [vx.Adx(hlc, 14, ["a", "p", "m"])],
        "Ema chains (Dema, Tema, Trix, Ppo)": [vx.Dema(["close"], WINDOW, ["d"]), vx.Tema(["close"], WINDOW, ["t"]),
                                               vx.Trix(["close"], WINDOW, ["x"]), vx.Ppo(["close"], ["p"])],
        "bands (Keltner, Supertrend)": [vx.Keltner(hlc, WINDOW, ["m", "u", "l"]),
                                        vx.Supertrend(hlc, ["s", "d"])],
        "ChaikinOscillator": [vx.ChaikinOscillator(["high", "low", "close", "volume"], ["c"])],
        "windows (FracDiff, UltimateOscillator, Subtract)": [
            vx.FracDiff(["close"], 0.4, ["f"], 1e-3), vx.UltimateOscillator(hlc, ["u"]),
            vx.Subtract(["high", "low"], ["s"])],
    }


def rows(vx, bars, table):
    closes = [[b[3]] for b in bars]
    ohlcv = [list(b) for b in bars]
    one = {
        "Sma": lambda: vx.Sma(["close"], WINDOW, ["x"]),
        "Ema": lambda: vx.Ema(["close"], WINDOW, ["x"]),
        "Kama": lambda: vx.Kama(["close"], WINDOW, ["x"]),
        "BollingerBands": lambda: vx.BollingerBands(["close"], WINDOW, ["a", "b", "c", "d", "e"]),
        "LinearSlope": lambda: vx.LinearSlope(["t", "close"], WINDOW, ["s", "r"]),
    }
    timed_closes = [[float(t), b[3]] for t, b in enumerate(bars)]
    out = {f"live {name}": live(make, timed_closes if name == "LinearSlope" else closes) for name, make in one.items()}
    out["live twelve-transform pipeline"] = live(lambda: vx.FeaturePipeline(twelve(vx), harness.OHLCV), ohlcv)
    out["peek Sma"] = live(one["Sma"], closes, peek=True)
    out["peek twelve-transform pipeline"] = live(
        lambda: vx.FeaturePipeline(twelve(vx), harness.OHLCV), ohlcv, peek=True
    )
    out["research twelve (1M bars)"] = research(vx, twelve(vx), table)
    out["research TA-Lib's five (1M bars)"] = research(vx, five(vx), table)
    out["research targets (1M bars)"] = targets(vx, table)
    for name, transforms in composed(vx).items():
        out[f"research {name} (1M bars)"] = research(vx, transforms, table)
    for name in ("Rsi", "Atr", "Macd"):
        out[f"live {name}"] = live(lambda name=name: vx.FeaturePipeline(composed(vx)[name], harness.OHLCV), ohlcv)
    return out


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    global harness
    sys.path.insert(0, args.new)
    import harness as shared

    harness = shared
    builds = {"old": load(args.old), "new": load(args.new)}
    data = harness.load_ohlcv(harness.find_data_dir(None))[1]
    bars = data[:20_000]
    table = np.ascontiguousarray(harness.repeat_to(data, 1_000_000), dtype=np.float64)
    sides = {name: rows(vx, bars, table) for name, vx in builds.items()}
    times: dict[str, dict[str, list[int]]] = {row: {"old": [], "new": []} for row in sides["old"]}
    gc.disable()
    for r in range(args.rounds):
        order = list(builds) if r % 2 == 0 else list(reversed(builds))
        for row in times:
            for name in order:
                times[row][name].append(sides[name][row]())
    gc.enable()
    print("| row | old | new | new / old |\n|---|---|---|---|")
    for row, t in times.items():
        old, new = statistics.median(t["old"]), statistics.median(t["new"])
        units = len(bars) if row.startswith(("live", "peek")) else len(table)
        print(f"| {row} | {harness.fmt_ns(old / units)} | {harness.fmt_ns(new / units)} | {new / old:.3f} |")


if __name__ == "__main__":
    main()
