"""Panels of seeded recursions: Rsi, Atr and Macd, each over many symbols in one DataFrame through
vexal.research(by="symbol"), and over the same bars already split per symbol through run_research_into,
against TA-Lib's batch function called once per symbol. A recursion waits on its previous bar, so each series
runs bar after bar; the sides differ in what each bar costs."""

from __future__ import annotations

import vexal
from harness import Section, interleaved, np, now, pd, repeat_to, talib, vx, warm_bytes

ORDER = 45
HLC = ["high", "low", "close"]

# name: (a one-transform pipeline over HLC, TA-Lib's batch call on one symbol's high, low, close)
CASES = {
    "Rsi 14": (lambda: vx.Rsi(["close"], 14, ["rsi"]), lambda h, low, c: talib.RSI(c, 14)),
    "Atr 14": (lambda: vx.Atr(HLC, 14, ["atr"]), lambda h, low, c: talib.ATR(h, low, c, 14)),
    "Macd 12/26/9": (lambda: vx.Macd(["close"], ["m", "s", "h"]), lambda h, low, c: talib.MACD(c)),
}


def make_panel(rows, symbols, bars):
    """Symbol-major: each symbol's bars together; symbol k's prices are the data's scaled by 1 + k/100."""
    base = np.asarray(repeat_to(rows, bars), dtype=np.float64)[:, 1:4]  # high, low, close
    split = [np.ascontiguousarray(base * (1.0 + k / 100.0)) for k in range(symbols)]
    frame = pd.DataFrame(np.concatenate(split), columns=HLC)
    frame.insert(0, "symbol", pd.Categorical(np.repeat([f"S{k:03d}" for k in range(symbols)], bars)))
    return frame, split


def frame_side(make_transform, frame):
    def make():
        pipeline = vx.FeaturePipeline([make_transform()], HLC)

        def run():
            t0 = now()
            vexal.research(pipeline, frame, by="symbol", workers=1)
            return now() - t0

        return run

    return make


def bare_side(make_transform, split):
    def make():
        pipeline = vx.FeaturePipeline([make_transform()], HLC)
        outs = [np.empty((len(x), len(pipeline.output_names()))) for x in split]

        def run():
            t0 = now()
            for x, out in zip(split, outs):
                pipeline.run_research_into(x, out)
            return now() - t0

        return run

    return make


def talib_side(call, split):
    def make():
        columns = [(np.ascontiguousarray(x[:, 0]), np.ascontiguousarray(x[:, 1]), np.ascontiguousarray(x[:, 2]))
                   for x in split]

        def run():
            t0 = now()
            for h, low, c in columns:
                call(h, low, c)
            return now() - t0

        return run

    return make


def run(ctx):
    lines = ["## Panels of recursions against TA-Lib", ""]
    if np is None or pd is None or talib is None:
        lines.append("Not measured: needs numpy, pandas and TA-Lib.")
        return Section("recursions", lines)
    symbols, bars = (20, 2000) if ctx.quick else (500, 20_000)
    frame, split = make_panel(ctx.rows, symbols, bars)
    rounds = max(3, ctx.research_rounds // 2)
    lines += [f"{symbols} symbols × {bars:,} bars, symbol-major, one transform at a time; ns per bar, median of "
              f"{rounds} interleaved rounds. TA-Lib's batch function is called once per symbol on its own "
              "contiguous columns; vexal's bare side runs `run_research_into` over the same per-symbol arrays into "
              "results allocated before timing; the DataFrame side reads the columns, groups and builds the result.",
              "", "| transform | vexal.research(DataFrame, by=symbol) | bare array path | TA-Lib batch | "
              "DataFrame × TA-Lib | bare × TA-Lib |", "|---|---|---|---|---|---|"]
    goals, data = [], {}
    for name, (make_transform, call) in CASES.items():
        sides = {"frame": frame_side(make_transform, frame), "bare": bare_side(make_transform, split),
                 "talib": talib_side(call, split)}
        m = interleaved(sides, rounds, symbols * bars, warm=warm_bytes(symbols * bars))
        data[name] = m
        print(f"  recursions {name}: " + ", ".join(f"{k} {v:.1f} ns/bar" for k, v in m.items()), flush=True)
        lines.append(f"| {name} | {m['frame']:.1f} | {m['bare']:.1f} | {m['talib']:.1f} | "
                     f"{m['frame'] / m['talib']:.2f} | {m['bare'] / m['talib']:.2f} |")
        goals.append((f"panel research of {name} ({symbols} × {bars:,}) ≤ TA-Lib batch looping over the symbols",
                      f"{m['frame'] / m['talib']:.2f}×", m["frame"] <= m["talib"]))
    lines.append("")
    return Section("recursions", lines, goals, [lambda ax: chart(ax, data)], data=data)


def chart(ax, data):
    names = list(data)
    x = np.arange(len(names))
    for i, (side, label) in enumerate((("frame", "vexal.research"), ("bare", "bare array path"),
                                       ("talib", "TA-Lib batch"))):
        ax.bar(x + (i - 1) * 0.27, [data[n][side] for n in names], 0.27, label=label)
    ax.set_xticks(x, names)
    ax.set_ylabel("ns per bar")
    ax.set_title("Panels of recursions")
    ax.legend(fontsize=7)
