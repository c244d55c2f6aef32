"""A universe live: the twelve-transform pipeline over many symbols per bar, as one FeatureBook.update against
a Python loop over one pipeline per symbol (the way it is done without a book), on one and two threads, with
the three cross-sectional features on top; and the research panel's cross= step against pandas' groupby."""

from __future__ import annotations

import ctypes

import vexal
from harness import OHLCV, WINDOW, Section, fmt_ns, interleaved, np, now, twelve, vx

ORDER = 50


def universe(ctx):
    return (300, 100, 3) if ctx.quick else (3000, 400, 3)


def book_sides(symbols, bars, core=None):
    rng = np.random.default_rng(0)
    prices = 100 + rng.normal(size=(bars, symbols)).cumsum(axis=0)
    spread = rng.random((bars, symbols))
    frames = [np.ascontiguousarray(np.column_stack([p, p + s, p - s, p, 1e6 + s])) for p, s in zip(prices, spread)]
    cross = [vexal.CrossRank(["sma"], ["rank"]), vexal.CrossZScore(["close"], ["close_cz"]), vexal.CrossDemean(["lr"], ["lr_dm"])]
    names = [f"S{i}" for i in range(symbols)]

    def book(threads, with_cross=False):
        def make():
            b = vx.FeatureBook(vx.FeaturePipeline(twelve(), OHLCV), names, cross=cross if with_cross else None)
            out = np.empty((symbols, len(b.output_names())))

            def run():
                t0 = now()
                for f in frames:
                    b.update_into(f, out, threads=threads)
                return now() - t0

            return run

        return make

    def python_loop():
        pipes = [vx.FeaturePipeline(twelve(), OHLCV) for _ in range(symbols)]
        rows = [[list(map(float, row)) for row in f] for f in frames]

        def run():
            t0 = now()
            for bar in rows:
                for p, row in zip(pipes, bar):
                    p.update(row)
            return now() - t0

        return run

    sides = {"FeatureBook.update_into, 1 thread": book(1), "FeatureBook.update_into, 2 threads": book(2),
             "FeatureBook, 1 thread, with 3 cross features": book(1, True),
             "Python loop over pipelines": python_loop}
    if core is not None:
        flat = np.ascontiguousarray(np.stack(frames)).ravel()
        pointer = flat.ctypes.data_as(ctypes.POINTER(ctypes.c_double))

        def core_alone():
            def run():
                ns = core.vexal_core_universe_ns(pointer, symbols, bars, WINDOW)
                if ns < 0:
                    raise RuntimeError("the core could not build the pipeline")
                return ns

            return run

        sides["core alone, looping over the symbols' pipelines"] = core_alone
    return sides


def panel_sides(symbols, dates):
    import pandas as pd

    rng = np.random.default_rng(1)
    panel = pd.DataFrame({"symbol": np.repeat(np.arange(symbols), dates), "date": np.tile(np.arange(dates), symbols),
                          "close": 100 + rng.normal(size=symbols * dates)})
    pipe = vx.FeaturePipeline([vx.Lag(["close"], 1, ["prev"])], ["close"])
    cross = [vexal.CrossRank(["close"], ["rank"]), vexal.CrossZScore(["close"], ["z"])]

    def research(with_cross):
        def make():
            def run():
                t0 = now()
                vexal.research(pipe, panel, by="symbol", order_by="date", cross=cross if with_cross else None)
                return now() - t0

            return run

        return make

    def pandas_groupby():
        def run():
            t0 = now()
            g = panel.groupby("date")["close"]
            g.rank(pct=True)
            (panel["close"] - g.transform("mean")) / g.transform("std")
            return now() - t0

        return run

    return {"research, no cross": research(False), "research, cross rank and z-score": research(True),
            "pandas groupby(date): rank(pct=True), z-score": pandas_groupby}


def run(ctx):
    symbols, bars, rounds = universe(ctx)
    live = interleaved(book_sides(symbols, bars, ctx.core), rounds, bars)
    one, two = live["FeatureBook.update_into, 1 thread"], live["FeatureBook.update_into, 2 threads"]
    loop, crossed = live["Python loop over pipelines"], live["FeatureBook, 1 thread, with 3 cross features"]
    lines = ["## A universe live: FeatureBook", "",
             f"{symbols:,} symbols, the twelve-transform pipeline, {bars:,} bars; time per bar for the whole universe.",
             "", "| side | µs per bar | × book |", "|---|---|---|"]
    lines += [f"| {k} | {fmt_ns(v / 1000)} | {v / one:.2f} |" for k, v in live.items()]
    p_symbols, p_dates = (100, 500) if ctx.quick else (500, 5000)
    panel = interleaved(panel_sides(p_symbols, p_dates), max(1, rounds - 1), 1)
    step = panel["research, cross rank and z-score"] - panel["research, no cross"]
    pandas = panel["pandas groupby(date): rank(pct=True), z-score"]
    lines += ["", f"Research panel, {p_symbols} symbols × {p_dates:,} dates: the cross= step is the difference of "
              "the first two rows.", "", "| side | ms |", "|---|---|"]
    lines += [f"| {k} | {v / 1e6:,.1f} |" for k, v in panel.items()]
    core_side = live.get("core alone, looping over the symbols' pipelines")
    goals = [("book update ≥ 4 × faster than a Python loop over pipelines", f"{loop / one:.2f} ×", loop / one >= 4),
             ("two threads ≥ 1.8 × one", f"{one / two:.2f} ×", one / two >= 1.8),
             ("cross-sectional step ≤ 20 % of the book update", f"{(crossed - one) / one:.0%}", crossed - one <= 0.2 * one),
             ("research cross= ≥ 3 × faster than pandas groupby", f"{pandas / max(step, 1):.2f} ×", pandas >= 3 * step)]
    if core_side is not None:
        goals.append(("book update ≤ 1.2 × the core alone over the same symbols", f"{one / core_side:.2f} ×",
                      one <= 1.2 * core_side))
    print("  book: " + ", ".join(f"{k} {v / 1000:.0f} µs" for k, v in live.items()), flush=True)
    return Section("book", lines, goals)
