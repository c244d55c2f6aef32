"""Panels: many symbols in one long pandas DataFrame through vexal.research(by="symbol") against the bare
array path over the same bars already split per symbol, and two workers against one. The table is stored
symbol-major (each symbol's bars together, as when per-symbol files are concatenated) or date-major (every
symbol's bar of a date, then the next date)."""

from __future__ import annotations

import concurrent.futures

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
    return Section("panel", lines, goals, [lambda ax: panel_chart(ax, medians)], data=medians)


def panel_chart(ax, medians):
    labels = list(medians)
    ax.barh(range(len(labels)), [medians[k] for k in labels], color="tab:blue")
    ax.set_yticks(range(len(labels)), [k.replace("vexal.research", "research").replace(", ", ",\n", 1)
                                        for k in labels], fontsize=7)
    ax.invert_yaxis()
    ax.set_xlabel("ns per bar")
    ax.set_title("A panel of symbols")
