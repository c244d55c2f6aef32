"""Live, per update: single transforms against the floor, talipp, TA-Lib's
streams and pure Python."""

from __future__ import annotations

import math
import statistics

import pure
from harness import (WINDOW, Section, core_alone_side, fmt_ns, interleaved, loop_stream, loop_talipp, loop_update,
                     np, now, repeat_to, talib_stream, talipp_ind, talipp_ohlcv, vx)

ORDER = 10
PEERS = ["pure Python", "talipp", "TA-Lib stream"]


def measure(floor, core, rows, n, rounds):
    history = rows[:200]  # seeds TA-Lib's streams, which start from history
    live = rows[200 : 200 + n]
    closes = [r[3] for r in live]
    one = [[c] for c in closes]
    pairs = [[float(i), c] for i, c in enumerate(closes)]  # x = bar index, y = close
    seed_close = np.array([r[3] for r in history]) if np else None
    seed_t = np.arange(-len(history), 0, dtype=float) if np else None

    def talipp_zscore(xs):
        def make():
            sma, sd = talipp_ind.SMA(WINDOW), talipp_ind.StdDev(WINDOW)

            def run():
                t0 = now()
                for x in xs:
                    sma.add(x)
                    sd.add(x)
                    m, s = sma[-1], sd[-1]
                    (x - m) / s if m is not None and s else math.nan
                return now() - t0

            return run

        return make

    def stream_zscore(xs):
        def make():
            sma = talib_stream.SMA(seed_close, WINDOW)
            sd = talib_stream.STDDEV(seed_close, WINDOW, 1.0)
            us, ud = sma.update, sd.update

            def run():
                t0 = now()
                for x in xs:
                    m = us(x)
                    s = ud(x)
                    (x - m) / s if s else math.nan
                return now() - t0

            return run

        return make

    def stream_slope(rows2):
        def make():
            slope = talib_stream.LINEARREG_SLOPE(seed_close, WINDOW)
            corr = talib_stream.CORREL(seed_t, seed_close, WINDOW)
            us, uc = slope.update, corr.update

            def run():
                t0 = now()
                for t, c in rows2:
                    us(c)
                    r = uc(t, c)
                    r * r
                return now() - t0

            return run

        return make

    hlc = [[r[1], r[2], r[3]] for r in live]
    seed_hlc = [np.array([r[k] for r in history]) for k in (1, 2, 3)] if np else None

    def talipp_bars(make_ind):
        bars_ohlcv = [talipp_ohlcv.OHLCV(r[0], r[1], r[2], r[3], r[4]) for r in live]

        def make():
            ind = make_ind()
            add = ind.add

            def run():
                t0 = now()
                for b in bars_ohlcv:
                    add(b)
                    ind[-1]
                return now() - t0

            return run

        return make

    def stream_bars(make_stream):
        def make():
            update = make_stream().update

            def run():
                t0 = now()
                for h, low, c in hlc:
                    update(h, low, c)
                return now() - t0

            return run

        return make

    cases = {
        "Sma": (lambda: vx.Sma(["c"], WINDOW, ["o"]), lambda: pure.Sma(WINDOW), one,
                (lambda: talipp_ind.SMA(WINDOW)) if talipp_ind else None,
                (lambda: talib_stream.SMA(seed_close, WINDOW)) if talib_stream else None),
        "Ema": (lambda: vx.Ema(["c"], WINDOW, ["o"]), lambda: pure.Ema(WINDOW), one,
                (lambda: talipp_ind.EMA(WINDOW)) if talipp_ind else None,
                (lambda: talib_stream.EMA(seed_close, WINDOW)) if talib_stream else None),
        "Kama": (lambda: vx.Kama(["c"], WINDOW, ["o"]), lambda: pure.Kama(WINDOW), one,
                 (lambda: talipp_ind.KAMA(WINDOW, 2, 30)) if talipp_ind else None,
                 (lambda: talib_stream.KAMA(seed_close, WINDOW)) if talib_stream else None),
        "RollingZScore": (lambda: vx.RollingZScore(["c"], WINDOW, ["o"]), lambda: pure.RollingZScore(WINDOW), one,
                          "zscore", "zscore"),
        "Skewness": (lambda: vx.Skewness(["c"], WINDOW, ["o"]), lambda: pure.Skewness(WINDOW), one, None, None),
        "LinearSlope": (lambda: vx.LinearSlope(["t", "c"], WINDOW, ["s", "r2"]), lambda: pure.LinearSlope(WINDOW),
                        pairs, None, "slope"),
        # The classic indicators: no pure-Python side.
        "Rsi": (lambda: vx.Rsi(["c"], 14, ["o"]), None, one, (lambda: talipp_ind.RSI(14)) if talipp_ind else None,
                (lambda: talib_stream.RSI(seed_close, 14)) if talib_stream else None),
        "Atr": (lambda: vx.Atr(["h", "l", "c"], 14, ["o"]), None, hlc,
                talipp_bars(lambda: talipp_ind.ATR(14)) if talipp_ind else None,
                stream_bars(lambda: talib_stream.ATR(*seed_hlc, 14)) if talib_stream else None),
        "BollingerBands": (lambda: vx.BollingerBands(["c"], WINDOW, ["m", "u", "l", "p", "b"]), None, one,
                           (lambda: talipp_ind.BB(WINDOW, 2.0)) if talipp_ind else None,
                           (lambda: talib_stream.BBANDS(seed_close, WINDOW, 2.0, 2.0)) if talib_stream else None),
        "Macd": (lambda: vx.Macd(["c"], ["m", "s", "h"]), None, one,
                 (lambda: talipp_ind.MACD(12, 26, 9)) if talipp_ind else None,
                 (lambda: talib_stream.MACD(seed_close, 12, 26, 9)) if talib_stream else None),
    }
    table = []
    for name, (ours, py, bars, tp, ts) in cases.items():
        sides = {"floor": loop_update(floor.Floor, bars), "vexal": loop_update(ours, bars)}
        if py is not None:
            sides["pure Python"] = loop_update(py, bars)
        if core is not None and py is not None:
            sides["core alone"] = core_alone_side(core, bars, name)
        if tp == "zscore":
            if talipp_ind:
                sides["talipp"] = talipp_zscore(closes)
        elif callable(tp) and name == "Atr":
            sides["talipp"] = tp
        elif tp is not None:
            sides["talipp"] = loop_talipp(tp, closes)
        if ts == "zscore":
            if talib_stream:
                sides["TA-Lib stream"] = stream_zscore(closes)
        elif ts == "slope":
            if talib_stream:
                sides["TA-Lib stream"] = stream_slope(pairs)
        elif ts is not None and name == "Atr":
            sides["TA-Lib stream"] = ts
        elif ts is not None:
            sides["TA-Lib stream"] = loop_stream(ts, closes)
        medians = interleaved(sides, rounds, len(bars))
        table.append((name, medians))
        print(f"  live {name}: " + ", ".join(f"{k} {v:.0f} ns" for k, v in medians.items()), flush=True)
    return table



def run(ctx):
    table = measure(ctx.floor, ctx.core, repeat_to(ctx.rows, ctx.live_n + 200), ctx.live_n, ctx.rounds)
    floor_ns = statistics.median(m["floor"] for _, m in table)
    lines = ["## Floor", "",
             "A benchmark-only C extension (`bench/floor.c`, compiled by the bench into a temporary directory) "
             "whose `update` takes a list of floats exactly as vexal's does and returns a new one-float list, "
             "with no arithmetic: the bare cost of a live update from Python, loop included.", "",
             "| | ns per call |", "|---|---|", f"| floor | {fmt_ns(floor_ns)} |", ""]
    lines += ["## Live, per update (window 20)", "",
              "One bar per call, fed from a Python loop over real closes. TA-Lib's stateful streams "
              "(`talib.stream.X(history, ...).update(x)`) are seeded with 200 bars of history first; talipp's "
              "indicators are read back with `ind[-1]` after each `add`.", ""]
    lines += ["| transform | vexal ns | × floor | floor + core alone, ns | " +
              " | ".join(f"{p} ns | × vexal" for p in PEERS) + " |",
              "|---|---|---|---|" + "---|---|" * len(PEERS)]
    for name, m in table:
        ours = m["vexal"]
        bound = fmt_ns(m["floor"] + m["core alone"]) if "core alone" in m else "—"
        cells = [name, fmt_ns(ours), f"{ours / m['floor']:.2f}", bound]
        for p in PEERS:
            cells += [fmt_ns(m[p]), f"{m[p] / ours:.1f}"] if p in m else ["—", "—"]
        lines.append("| " + " | ".join(cells) + " |")
    lines += ["", "\"floor + core alone\" adds to the floor what the same updates cost the core from C++ "
              "(`bench/core_alone.cpp`, timed in the same rounds): roughly the least a call can cost that does "
              "this transform's arithmetic.", "",
              "RollingZScore's peers are composed of an SMA and a standard deviation (TA-Lib's STDDEV and "
              "talipp's StdDev are population deviations; vexal uses the sample deviation). LinearSlope regresses "
              "the close on the bar index; TA-Lib's equivalent is LINEARREG_SLOPE plus CORREL squared for R². "
              "Neither peer has a rolling skewness. Rsi and Atr use window 14, Macd 12/26/9, the Bollinger bands "
              "window 20 and k = 2 (TA-Lib's BBANDS stream, talipp's BB); Atr's peers take whole bars, talipp's as "
              "OHLCV objects built before timing. These four have no pure-Python side.", ""]
    return Section("live", lines, goals(table), data={"table": table, "floor_ns": floor_ns})


def goals(table):
    found = []
    m = dict(table)
    sma = m["Sma"]
    measured = f"{sma['vexal'] / sma['floor']:.2f} ×"
    if "core alone" in sma:
        measured += f" (floor + Sma's core alone: {(sma['floor'] + sma['core alone']) / sma['floor']:.2f} ×)"
    found.append(("`Sma.update` (window 20) ≤ 1.5 × floor", measured, sma["vexal"] / sma["floor"] <= 1.5))
    for name in ("Sma", "Ema", "Kama"):
        if "talipp" in m[name]:
            q = m[name]["talipp"] / m[name]["vexal"]
            ceiling = m[name]["talipp"] / m[name]["floor"]
            found.append((f"{name}: ≥ 10 × faster than talipp", f"{q:.1f} × (the floor itself: {ceiling:.1f} ×)",
                          q >= 10))
        if "TA-Lib stream" in m[name]:
            q = m[name]["TA-Lib stream"] / m[name]["vexal"]
            found.append((f"{name}: faster than TA-Lib's stream", f"{q:.2f} ×", q > 1))
    return found
