"""Live peek: what asking for the next bar's result without taking it costs,
against update, for a transform and the twelve-transform pipeline. Only
when the transforms have peek."""

from __future__ import annotations

from harness import OHLCV, WINDOW, Section, fmt_ns, interleaved, now, repeat_to, twelve, vx

ORDER = 25


def loop_method(make_obj, method, bars, warm):
    def make():
        obj = make_obj()
        for bar in warm:
            obj.update(bar)
        call = getattr(obj, method)

        def run():
            t0 = now()
            for bar in bars:
                call(bar)
            return now() - t0

        return run

    return make


def run(ctx):
    if not hasattr(vx.Sma, "peek"):
        return Section("peek", [])
    rows = repeat_to(ctx.rows, ctx.live_n + 200)
    warm, live = rows[:200], rows[200:]
    closes = [[r[3]] for r in live]
    bars = [list(r) for r in live]
    cases = {
        "Sma": (lambda: vx.Sma(["c"], WINDOW, ["o"]), closes, [[r[3]] for r in warm]),
        "FeaturePipeline (twelve)": (lambda: vx.FeaturePipeline(twelve(), OHLCV), bars, [list(r) for r in warm]),
    }
    lines = ["## Live peek", "",
             "`peek(values)` returns what `update(values)` would return now and leaves the state as it is; each "
             "side starts from 200 bars of history, then calls the method once per bar from a Python loop.", "",
             "| object | update ns | peek ns | peek ÷ update | floor ns |", "|---|---|---|---|---|"]
    table = {}
    for name, (make, feed, history) in cases.items():
        sides = {
            "floor": loop_method(ctx.floor.Floor, "update", feed, []),
            "update": loop_method(make, "update", feed, history),
            "peek": loop_method(make, "peek", feed, history),
        }
        m = interleaved(sides, ctx.rounds, len(feed))
        table[name] = m
        print(f"  peek {name}: " + ", ".join(f"{k} {v:.0f} ns" for k, v in m.items()), flush=True)
        lines.append(f"| {name} | {fmt_ns(m['update'])} | {fmt_ns(m['peek'])} | {m['peek'] / m['update']:.2f} | "
                     f"{fmt_ns(m['floor'])} |")
    lines.append("")
    return Section("peek", lines, data=table)
