"""Live, the twelve-transform pipeline: one update per bar against the same
twelve driven from Python, the floor of a call of its shape, the core alone
and the subsets TA-Lib's streams and talipp can express."""

from __future__ import annotations

import math

import pure
from harness import (CORE_ALONE, FLOOR_13, OHLCV, WINDOW, Section, core_alone_side, fmt_ns, interleaved,
                     loop_update, np, now, repeat_to, talib_stream, talipp_ind, talipp_ohlcv, twelve, vx)

ORDER = 20


class HandRouted:
    """Twelve separate objects driven from Python, the routing written out.
    With vexal objects it shows what the pipeline saves; with the pure ones
    it is the hand-written equivalent of the pipeline."""

    def __init__(self, m):
        self.sma, self.ema, self.kama = m.Sma(), m.Ema(), m.Kama()
        self.ret10, self.lr = m.SimpleReturn(), m.LogReturn()
        self.skew, self.kurt, self.slope = m.Skewness(), m.Kurtosis(), m.LinearSlope()
        self.pv, self.rs, self.z, self.dist = m.Parkinson(), m.RogersSatchell(), m.ZScore(), m.Subtract()

    def update(self, bar):
        o, h, low, c, _ = bar
        cl = [c]
        sma = self.sma.update(cl)
        lr = self.lr.update(cl)
        return [
            *sma, *self.ema.update(cl), *self.kama.update(cl), *self.ret10.update(cl), *lr,
            *self.skew.update(lr), *self.kurt.update(lr), *self.slope.update([sma[0], c]),
            *self.pv.update([h, low]), *self.rs.update([h, low, o, c]), *self.z.update(cl),
            *self.dist.update([c, sma[0]]),
        ]


class PureMakers:
    Sma = staticmethod(lambda: pure.Sma(WINDOW))
    Ema = staticmethod(lambda: pure.Ema(WINDOW))
    Kama = staticmethod(lambda: pure.Kama(WINDOW))
    SimpleReturn = staticmethod(lambda: pure.SimpleReturn(10))
    LogReturn = staticmethod(lambda: pure.LogReturn(1))
    Skewness = staticmethod(lambda: pure.Skewness(WINDOW))
    Kurtosis = staticmethod(lambda: pure.Kurtosis(WINDOW))
    LinearSlope = staticmethod(lambda: pure.LinearSlope(WINDOW))
    Parkinson = staticmethod(lambda: pure.ParkinsonVolatility(WINDOW))
    RogersSatchell = staticmethod(lambda: pure.RogersSatchellVolatility(WINDOW))
    ZScore = staticmethod(lambda: pure.RollingZScore(WINDOW))
    Subtract = staticmethod(pure.Subtract)


class VexalMakers:
    Sma = staticmethod(lambda: vx.Sma(["c"], WINDOW, ["o"]))
    Ema = staticmethod(lambda: vx.Ema(["c"], WINDOW, ["o"]))
    Kama = staticmethod(lambda: vx.Kama(["c"], WINDOW, ["o"]))
    SimpleReturn = staticmethod(lambda: vx.SimpleReturn(["c"], 10, ["o"]))
    LogReturn = staticmethod(lambda: vx.LogReturn(["c"], 1, ["o"]))
    Skewness = staticmethod(lambda: vx.Skewness(["c"], WINDOW, ["o"]))
    Kurtosis = staticmethod(lambda: vx.Kurtosis(["c"], WINDOW, ["o"]))
    LinearSlope = staticmethod(lambda: vx.LinearSlope(["x", "y"], WINDOW, ["s", "r"]))
    Parkinson = staticmethod(lambda: vx.ParkinsonVolatility(["h", "l"], WINDOW, ["o"]))
    RogersSatchell = staticmethod(lambda: vx.RogersSatchellVolatility(["h", "l", "o", "c"], WINDOW, ["o"]))
    ZScore = staticmethod(lambda: vx.RollingZScore(["c"], WINDOW, ["o"]))
    Subtract = staticmethod(lambda: vx.Subtract(["a", "b"], ["o"]))



def measure(floor, core, rows, n, rounds):
    history, live = rows[:200], rows[200 : 200 + n]
    bars = [list(r) for r in live]
    sides = {
        "floor": loop_update(floor.Floor, [[r[3]] for r in live]),
        # A call of the pipeline's shape: five values in, thirteen new floats out.
        FLOOR_13: loop_update(lambda: floor.Floor(13), bars),
        "vexal FeaturePipeline": loop_update(lambda: vx.FeaturePipeline(twelve(), OHLCV), bars),
        # The same graph with every window at 4: what is left is the routing
        # and the per-transform fixed cost, not the windows' arithmetic.
        "vexal FeaturePipeline, windows of 4": loop_update(lambda: vx.FeaturePipeline(twelve(4), OHLCV), bars),
        "vexal, 12 objects routed in Python": loop_update(lambda: HandRouted(VexalMakers), bars),
        "pure Python, 12 objects": loop_update(lambda: HandRouted(PureMakers), bars),
    }
    if core is not None:
        sides[CORE_ALONE] = core_alone_side(core, live)
    coverage = {}
    if talib_stream and np:
        seed_c = np.array([r[3] for r in history])

        def make_talib():
            ss = [talib_stream.SMA(seed_c, WINDOW), talib_stream.EMA(seed_c, WINDOW), talib_stream.KAMA(seed_c, WINDOW),
                  talib_stream.ROCP(seed_c, 10), talib_stream.STDDEV(seed_c, WINDOW, 1.0)]
            u = [s.update for s in ss]

            def run():
                t0 = now()
                for r in live:
                    c = r[3]
                    m = u[0](c)
                    u[1](c), u[2](c), u[3](c)
                    s = u[4](c)
                    (c - m) / s if s else math.nan
                return now() - t0

            return run

        sides["TA-Lib streams"] = make_talib
        coverage["TA-Lib streams"] = "5 of 12: SMA, EMA, KAMA, ROCP, z-score from SMA and STDDEV"
    if talipp_ind and talipp_ohlcv:
        candles = [talipp_ohlcv.OHLCV(r[0], r[1], r[2], r[3], r[4]) for r in live]

        def make_talipp():
            inds = [talipp_ind.SMA(WINDOW), talipp_ind.EMA(WINDOW), talipp_ind.KAMA(WINDOW, 2, 30),
                    talipp_ind.ROC(10), talipp_ind.StdDev(WINDOW)]
            rs = talipp_ind.RogersSatchell(WINDOW)

            def run():
                t0 = now()
                for r, candle in zip(live, candles):
                    c = r[3]
                    for ind in inds:
                        ind.add(c)
                    rs.add(candle)
                    m, s = inds[0][-1], inds[4][-1]
                    [ind[-1] for ind in inds], rs[-1], ((c - m) / s if m is not None and s else math.nan)
                return now() - t0

            return run

        sides["talipp"] = make_talipp
        coverage["talipp"] = "6 of 12: SMA, EMA, KAMA, ROC, RogersSatchell, z-score from SMA and StdDev"
    medians = interleaved(sides, rounds, len(bars))
    print("  pipeline: " + ", ".join(f"{k} {v:.0f} ns" for k, v in medians.items()), flush=True)
    return medians, coverage



def run(ctx):
    pm, coverage = measure(ctx.floor, ctx.core, repeat_to(ctx.rows, ctx.live_n + 200), ctx.live_n, ctx.rounds)
    ours = pm["vexal FeaturePipeline"]
    lines = ["## Live, twelve-transform pipeline", "",
             "Sma, Ema, Kama, SimpleReturn, LogReturn, Skewness and Kurtosis of the log return, LinearSlope of "
             "close on the SMA, Parkinson and Rogers-Satchell volatility, RollingZScore, Subtract: thirteen "
             "outputs per OHLCV bar.", "",
             f"Two rows bound what the pipeline can reach: \"{FLOOR_13}\" is the floor extension returning "
             "thirteen new floats for a five-value bar, the bare cost of a call of this shape; "
             f"\"{CORE_ALONE}\" runs the same twelve transforms through the core's pipeline from C++ "
             "(`bench/core_alone.cpp`, built by the bench with the library's flags, loaded with ctypes, timed in "
             "the same rounds), the cost of their arithmetic and routing with no boundary at all. Together they are "
             "roughly the least the pipeline's `update` can cost.", "",
             "| side | ns per bar | × floor | × vexal | covers |", "|---|---|---|---|---|"]
    for side, v in pm.items():
        lines.append(f"| {side} | {fmt_ns(v)} | {v / pm['floor']:.2f} | {v / ours:.2f} | {coverage.get(side, '')} |")
    lines.append("")
    r = ours / pm["floor"]
    bound = f"{pm[FLOOR_13] / pm['floor']:.2f} × for the 13-float call alone"
    if CORE_ALONE in pm:
        bound += f", {pm[CORE_ALONE] / pm['floor']:.2f} × for the core's arithmetic alone"
    goals = [("twelve-transform pipeline `update` ≤ 5 × floor", f"{r:.2f} × ({bound})", r <= 5)]
    live = ctx.sections.get("live")
    panels = [lambda ax: live_panel(ax, live, pm)] if live else []
    return Section("pipeline", lines, goals, panels, data=(pm, coverage))


def live_panel(ax, live, pm):
    """Every live transform and the pipeline, per side, on a log scale."""
    table, floor_ns = live.data["table"], live.data["floor_ns"]
    sides = ["vexal", "pure Python", "talipp", "TA-Lib stream"]
    names = [n for n, _ in table] + ["12-transform pipeline"]
    width = 0.2
    pipe_map = {"vexal": pm["vexal FeaturePipeline"], "pure Python": pm["pure Python, 12 objects"]}
    for i, side in enumerate(sides):
        ys = [m.get(side, 0) for _, m in table] + [pipe_map.get(side, 0)]
        ax.bar([x + i * width for x in range(len(names))], ys, width, label=side)
    ax.axhline(floor_ns, color="k", linestyle="--", label=f"floor ({floor_ns:.0f} ns)")
    ax.set_yscale("log")
    ax.set_xticks([x + 1.5 * width for x in range(len(names))], names, rotation=20)
    ax.set_ylabel("ns per update (log)")
    ax.set_title("Live, per update")
    ax.legend(fontsize=8)
