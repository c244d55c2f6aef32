"""Scaling: live cost per bar against the window, and a pipeline's cost
against its number of transforms, each with a least-squares line."""

from __future__ import annotations

from harness import OHLCV, WINDOW, Section, fmt_ns, interleaved, loop_update, now, repeat_to, vx

ORDER = 90

WINDOWS = [5, 10, 20, 50, 100, 200, 500, 1000]
COUNTS = [1, 2, 5, 10, 20, 50, 100]


def measure(rows, n, rounds):
    closes = [[r[3]] for r in rows[:n]]
    pairs = [[float(i), r[3]] for i, r in enumerate(rows[:n])]
    kinds = {
        "Sma": (lambda w: vx.Sma(["c"], w, ["o"]), closes),
        "Skewness": (lambda w: vx.Skewness(["c"], w, ["o"]), closes),
        "LinearSlope": (lambda w: vx.LinearSlope(["t", "c"], w, ["s", "r"]), pairs),
        "Ema": (lambda w: vx.Ema(["c"], w, ["o"]), closes),
    }
    by_window = {}
    for name, (make, bars) in kinds.items():
        # Bars past the warm-up only: the first max(window) bars are fed untimed.
        sides = {}
        for w in WINDOWS:
            def make_side(w=w, make=make, bars=bars):
                def setup():
                    obj = make(w)
                    update = obj.update
                    for bar in bars[:w]:
                        update(bar)
                    rest = bars[w:]

                    def run():
                        t0 = now()
                        for bar in rest:
                            update(bar)
                        return (now() - t0) * len(bars) / max(len(rest), 1)

                    return run

                return setup

            sides[w] = make_side()
        by_window[name] = interleaved(sides, rounds, len(bars))
        print(f"  scaling {name}: " + ", ".join(f"w{k} {v:.0f}" for k, v in by_window[name].items()), flush=True)

    bars = [list(r) for r in rows[:n]]
    mix = [
        lambda i: vx.Sma(["close"], WINDOW, [f"sma{i}"]),
        lambda i: vx.Ema(["close"], WINDOW, [f"ema{i}"]),
        lambda i: vx.Skewness(["close"], WINDOW, [f"skew{i}"]),
        lambda i: vx.RollingZScore(["close"], WINDOW, [f"z{i}"]),
        lambda i: vx.LogReturn(["close"], 1 + i % 5, [f"lr{i}"]),
    ]
    sides = {k: loop_update(lambda k=k: vx.FeaturePipeline([mix[i % 5](i) for i in range(k)], OHLCV), bars)
             for k in COUNTS}
    by_count = interleaved(sides, rounds, len(bars))
    print("  scaling transforms: " + ", ".join(f"{k}: {v:.0f}" for k, v in by_count.items()), flush=True)
    return by_window, by_count


def linear_fit(xs, ys):
    """Least-squares line through (xs, ys): slope, intercept, R² and the
    largest residual as a share of the measured range (a jump shows as a
    large share; the small-window end, where the fixed cost dominates,
    does not inflate it)."""
    n = len(xs)
    mx, my = sum(xs) / n, sum(ys) / n
    sxx = sum((x - mx) ** 2 for x in xs)
    sxy = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    syy = sum((y - my) ** 2 for y in ys)
    b = sxy / sxx
    a = my - b * mx
    r2 = sxy * sxy / (sxx * syy) if syy else 1.0
    span = (max(ys) - min(ys)) or 1.0
    worst = max(abs(y - (a + b * x)) for x, y in zip(xs, ys)) / span
    return b, a, r2, worst



def run(ctx):
    by_window, by_count = measure(repeat_to(ctx.rows, ctx.scale_n), ctx.scale_n, ctx.scale_rounds)
    lines = ["## Scaling", "", "Live `update`, ns per bar, against the window:", "",
             "| transform | " + " | ".join(str(w) for w in WINDOWS) + " | linear fit |",
             "|---|" + "---|" * (len(WINDOWS) + 1)]
    for name, m in by_window.items():
        b, a, r2, worst = linear_fit(WINDOWS, [m[w] for w in WINDOWS])
        lines.append(f"| {name} | " + " | ".join(fmt_ns(m[w]) for w in WINDOWS) +
                     f" | {a:.0f} + {b:.2f}·w ns, R² {r2:.4f}, worst residual {worst:.0%} of range |")
    b, a, r2, worst = linear_fit(COUNTS, [by_count[k] for k in COUNTS])
    lines += ["", "A pipeline's `update`, ns per bar, against its number of transforms (Sma, Ema, Skewness, "
              "RollingZScore, LogReturn in turn, window 20):", "",
              "| transforms | " + " | ".join(str(k) for k in COUNTS) + " | linear fit |",
              "|---|" + "---|" * (len(COUNTS) + 1),
              "| ns per bar | " + " | ".join(fmt_ns(by_count[k]) for k in COUNTS) +
              f" | {a:.0f} + {b:.1f}·k ns, R² {r2:.4f}, worst residual {worst:.0%} of range |", ""]
    goals = []
    for name in ("Sma", "Skewness", "LinearSlope"):
        _, _, r2, worst = linear_fit(WINDOWS, [by_window[name][w] for w in WINDOWS])
        goals.append((f"{name}: linear in window", f"R² {r2:.4f}, worst residual {worst:.0%}",
                      r2 >= 0.99 and worst < 0.1))
    _, _, r2, worst = linear_fit(COUNTS, [by_count[k] for k in COUNTS])
    goals.append(("pipeline: linear in transforms", f"R² {r2:.4f}, worst residual {worst:.0%}",
                  r2 >= 0.99 and worst < 0.1))
    return Section("scaling", lines, goals, [lambda ax: window_panel(ax, by_window), lambda ax: count_panel(ax, by_count)],
                   data=(by_window, by_count))


def window_panel(ax, by_window):
    for name, m in by_window.items():
        ax.plot(WINDOWS, [m[w] for w in WINDOWS], marker="o", label=name)
    ax.set_xlabel("window")
    ax.set_ylabel("ns per update")
    ax.set_title("Live cost against window")
    ax.legend()


def count_panel(ax, by_count):
    ax.plot(COUNTS, [by_count[k] for k in COUNTS], marker="o")
    ax.set_xlabel("transforms in the pipeline")
    ax.set_ylabel("ns per bar")
    ax.set_title("Pipeline cost against transforms")
