"""Panels: many symbols in one long pandas DataFrame through vexal.research(by="symbol") against the bare
array path over the same bars already split per symbol, and two workers against one. The table is stored
symbol-major (each symbol's bars together, as when per-symbol files are concatenated) or date-major (every
symbol's bar of a date, then the next date)."""

from __future__ import annotations

import concurrent.futures
import json
import pathlib
import subprocess
import sys

import vexal
from harness import OHLCV, Section, interleaved, np, now, pd, repeat_to, twelve, vx, warm_bytes

ORDER = 40
BARE = "bare array path, 1 thread (bars already split per symbol, one result allocated per call)"
BARE_2 = "bare array path, 2 threads"
BARE_PREALLOCATED = "bare array path, 1 thread, per-symbol results allocated before timing"
FRAME = "vexal.research(DataFrame, by=symbol), symbol-major, 1 worker"
FRAME_2 = "vexal.research(DataFrame, by=symbol), symbol-major, 2 workers"
DATE_MAJOR = "vexal.research(DataFrame, by=symbol), date-major, 1 worker"
ORDERED = "vexal.research(DataFrame, by=symbol, order_by=date), date-major, 1 worker"


def make_panel(rows, symbols, bars):
    """A long table, date-major, and the bars split per symbol. Symbol k's prices are the data's scaled by
    1 + k/100."""
    base = np.asarray(repeat_to(rows, bars), dtype=np.float64)
    scale = 1.0 + np.arange(symbols) / 100.0
    values = (base[:, None, :] * scale[None, :, None]).reshape(bars * symbols, len(OHLCV))
    frame = pd.DataFrame(values, columns=OHLCV)
    frame.insert(0, "symbol", pd.Categorical(np.tile([f"S{k:03d}" for k in range(symbols)], bars)))
    frame.insert(1, "date", np.repeat(np.arange(bars), symbols))
    split = [np.ascontiguousarray(values[k::symbols]) for k in range(symbols)]
    return frame, split


def bare_side(split, width, threads, preallocated=False):
    """Like the DataFrame side, the bare side makes one result for the whole panel per call (symbol k's rows are
    a block of it), so both pay alike for first touching fresh result memory; the preallocated variant writes
    into per-symbol arrays made before timing instead."""
    starts = np.cumsum([0] + [len(x) for x in split])

    def make():
        pipes = [vx.FeaturePipeline(twelve(), OHLCV) for _ in range(threads)]
        outs = [np.empty((len(x), width)) for x in split] if preallocated else None

        def one(k, out):
            target = outs[k] if preallocated else out[starts[k]:starts[k + 1]]
            pipes[k % threads].run_research_into(split[k], target)

        def run():
            t0 = now()
            out = None if preallocated else np.empty((starts[-1], width))
            if threads == 1:
                for k in range(len(split)):
                    one(k, out)
            else:
                # Each thread keeps to its own pipeline: symbols k, k + threads, ...
                with concurrent.futures.ThreadPoolExecutor(threads) as pool:
                    list(pool.map(lambda t: [one(k, out) for k in range(t, len(split), threads)], range(threads)))
            return now() - t0

        return run

    return make


def frame_side(frame, workers, order_by=None):
    def make():
        pipeline = vx.FeaturePipeline(twelve(), OHLCV)

        def run():
            t0 = now()
            vexal.research(pipeline, frame, by="symbol", order_by=order_by, workers=workers)
            return now() - t0

        return run

    return make


# One call in a fresh process: its time, and the growth of the peak resident size during it (the kernel's peak is
# reset just before, where Linux allows it) against the bytes of the frame's columns and of the result.
MANY_CHILD = r"""
import json, resource, sys, time
import numpy as np, pandas as pd
sys.path.insert(0, sys.argv[1])
import vexal
from harness import OHLCV, twelve, vx
case, n = sys.argv[2], int(sys.argv[3])
rng = np.random.default_rng(7)
prices = 100.0 + rng.random((n, len(OHLCV)))
if case == "one-bar":
    frame = pd.DataFrame({"symbol": np.arange(n), "date": np.zeros(n, dtype=np.int64)})
else:
    frame = pd.DataFrame({"symbol": rng.integers(0, 1000, n), "date": rng.permutation(n)})
frame[OHLCV] = prices
del prices
if case == "one-bar, shuffled":
    frame = frame.sample(frac=1, random_state=1, ignore_index=True)
workers = 2 if case == "one-bar, shuffled" else 1
features = vx.FeaturePipeline(twelve(), OHLCV)
targets = vx.TargetPipeline([vx.FutureReturn(["close"], 5, ["fwd"])], ["close"])
def call(data):
    if case.startswith("one-bar"):
        return vexal.dataset(features, targets, data, by="symbol", workers=workers)
    return vexal.research(features, data, by="symbol", order_by="date", workers=workers)
call(frame.head(64))  # lazy imports and first-call tables are not the call's cost
def resident(field):
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) * 1024 for line in status if line.startswith(field))
try:
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")  # the peak (VmHWM) starts again from the current size
    before = resident("VmRSS:")
    peak = lambda: resident("VmHWM:")
except OSError:
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    peak = lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
t0 = time.perf_counter()
result = call(frame)
seconds = time.perf_counter() - t0
growth = peak() - before
print(json.dumps({"seconds": seconds, "growth": growth, "inputs": int(frame.memory_usage(index=True).sum()),
                  "outputs": int(result.memory_usage(index=True).sum()), "workers": workers}))
"""


def many_groups(case, n):
    here = str(pathlib.Path(__file__).resolve().parent.parent)
    done = subprocess.run([sys.executable, "-c", MANY_CHILD, here, case, str(n)], capture_output=True, text=True,
                          check=True)
    return json.loads(done.stdout.splitlines()[-1])


def many_groups_section(ctx):
    """A million one-bar symbols (in order, one worker; shuffled, two) through dataset, and a large panel with
    its rows shuffled through research: time and peak memory per call, each in a fresh process."""
    one_bar, unsorted = (100_000, 500_000) if ctx.quick else (1_000_000, 5_000_000)
    cases = {"one-bar": one_bar, "one-bar, shuffled": one_bar, "unsorted": unsorted}
    found = {case: many_groups(case, n) for case, n in cases.items()}
    names = {"one-bar": f"{one_bar:,} one-bar symbols, in order, vexal.dataset",
             "one-bar, shuffled": f"{one_bar:,} one-bar symbols, rows shuffled, vexal.dataset",
             "unsorted": f"{unsorted:,} rows of 1,000 symbols, rows shuffled, vexal.research(order_by=date)"}
    lines = ["## Panels: many groups, and memory", "",
             "The twelve-transform pipeline (and one FutureReturn label for dataset) over panels whose cost lies in "
             "the groups or the ordering rather than the bars. One call per case in a fresh process: its time, and "
             "the growth of the peak resident size during the call against the bytes of the frame and the result.",
             "", "| case | workers | seconds | inputs + outputs, MiB | peak growth, MiB | × (inputs + outputs) |",
             "|---|---|---|---|---|---|"]
    for case, r in found.items():
        io = r["inputs"] + r["outputs"]
        lines.append(f"| {names[case]} | {r['workers']} | {r['seconds']:.2f} | {io / 2**20:.0f} | "
                     f"{r['growth'] / 2**20:.0f} | {r['growth'] / io:.2f} |")
    lines.append("")
    print("  many groups: " + ", ".join(f"{c} {r['seconds']:.2f} s, peak {r['growth'] / 2**20:.0f} MiB"
                                        for c, r in found.items()), flush=True)
    goals = []
    for case in ("one-bar", "one-bar, shuffled"):
        r = found[case]
        ratio = r["growth"] / (r["inputs"] + r["outputs"])
        goals.append((f"{one_bar:,} one-bar symbols through dataset ({case}, {r['workers']} worker(s)) ≤ 2 s",
                      f"{r['seconds']:.2f} s", r["seconds"] <= 2.0))
        goals.append(("… its peak ≤ 3 × (inputs + outputs)", f"{ratio:.2f}×", ratio <= 3.0))
    r = found["unsorted"]
    ratio = r["growth"] / (r["inputs"] + r["outputs"])
    goals.append((f"{unsorted:,}-row unsorted panel: peak ≤ 1.5 × (inputs + outputs)", f"{ratio:.2f}×",
                  ratio <= 1.5))
    return lines, goals, found


def run(ctx):
    lines = ["## Panels", ""]
    if np is None or pd is None or not hasattr(vx.FeaturePipeline, "run_research_into"):
        lines.append("Not measured: needs numpy, pandas and the array path.")
        return Section("panel", lines)
    symbols, bars = (10, 2000) if ctx.quick else (100, 20_000)
    dates, split = make_panel(ctx.rows, symbols, bars)
    blocks = dates.sort_values(["symbol", "date"], kind="stable")
    width = len(vx.FeaturePipeline(twelve(), OHLCV).output_names())
    sides = {BARE: bare_side(split, width, 1), BARE_PREALLOCATED: bare_side(split, width, 1, preallocated=True),
             FRAME: frame_side(blocks, 1), DATE_MAJOR: frame_side(dates, 1), ORDERED: frame_side(dates, 1, "date"),
             BARE_2: bare_side(split, width, 2), FRAME_2: frame_side(blocks, 2)}
    medians = interleaved(sides, ctx.research_rounds, symbols * bars, warm=warm_bytes(symbols * bars))
    print("  panel: " + ", ".join(f"{k} {v:.0f} ns/bar" for k, v in medians.items()), flush=True)

    overhead = medians[FRAME] / medians[BARE]
    speedup = medians[FRAME] / medians[FRAME_2]
    date_major = medians[DATE_MAJOR] / medians[BARE]
    ordered = medians[ORDERED] / medians[BARE]
    lines += [f"{symbols} symbols × {bars:,} bars in one pandas DataFrame (symbol as a category), the "
              f"twelve-transform pipeline; ns per bar, median of {ctx.research_rounds} interleaved rounds. The "
              "DataFrame sides read the columns, group, run and build the result DataFrame in the input's row "
              "order (index kept); the bare side runs `run_research_into` over arrays already split per symbol, into "
              "one result array it allocates per call as the DataFrame side must (one row writes into per-symbol "
              "arrays allocated before timing instead). Before each pass the harness touches and frees memory "
              "untimed: this virtual machine hands memory freed seconds earlier back to its host, and touching "
              "it again first would otherwise cost a random multiple of zeroing it. "
              "A symbol-major table's groups are blocks of rows, read and written in place; a date-major table's "
              "are gathered sixteen neighbouring symbols at a time, so that every copy moves whole cache lines, "
              "and their outputs written in place.", "",
              "| side | ns per bar | × bare |", "|---|---|---|"]
    lines += [f"| {k} | {v:.1f} | {v / medians[BARE]:.2f} |" for k, v in medians.items()]
    lines.append("")
    goals = [("panel into a DataFrame ≤ 1.3× the bare array path (symbol-major)", f"{overhead:.2f}×",
              overhead <= 1.3),
             ("panel into a DataFrame, two workers ≥ 1.8× faster than one", f"{speedup:.2f}×", speedup >= 1.8),
             ("panel into a DataFrame ≤ 1.3× the bare array path (date-major)", f"{date_major:.2f}×",
              date_major <= 1.3),
             ("panel into a DataFrame ≤ 1.3× the bare array path (date-major, order_by=date)", f"{ordered:.2f}×",
              ordered <= 1.3)]
    many_lines, many_goals, many = many_groups_section(ctx)
    return Section("panel", lines + many_lines, goals + many_goals, [lambda ax: panel_chart(ax, medians)],
                   data={**medians, "many groups": many})


def panel_chart(ax, medians):
    labels = list(medians)
    ax.barh(range(len(labels)), [medians[k] for k in labels], color="tab:blue")
    ax.set_yticks(range(len(labels)), [k.replace("vexal.research", "research").replace(", ", ",\n", 1)
                                        for k in labels], fontsize=7)
    ax.invert_yaxis()
    ax.set_xlabel("ns per bar")
    ax.set_title("A panel of symbols")
