"""Research: whole datasets through both pipelines, from lists, from arrays
as lists of bars and through the array path (run_research_into), against
pandas, polars (default threads and one thread) and TA-Lib batch; two
threads on two pipelines against one; peak memory of the array path."""

from __future__ import annotations

import math
import os
import pathlib
import subprocess
import sys
import tempfile
import threading

from harness import (OHLCV, WINDOW, Section, fmt_ns, interleaved, np, now, pd, pl, repeat_to, talib, talipp_ind,
                     talipp_ohlcv, twelve, vx, warm_bytes)

ORDER = 30
OUTPUT_ALONE = "the result's lists alone (an array's tolist)"
ARRAY = "vexal arrays (run_research_into)"
HAS_ARRAYS = hasattr(vx.FeaturePipeline, "run_research_into")


def pandas_features(df):
    c, h, low = df["close"], df["high"], df["low"]
    out = {}
    sma = c.rolling(WINDOW).mean()
    out["sma"] = sma
    out["ema"] = c.ewm(span=WINDOW, adjust=False).mean()
    out["ret10"] = c.pct_change(10)
    lr = np.log(c / c.shift(1))
    out["lr"] = lr
    out["skew"] = lr.rolling(WINDOW).skew()
    out["kurt"] = lr.rolling(WINDOW).kurt()
    out["slope"] = c.rolling(WINDOW).cov(sma) / sma.rolling(WINDOW).var()
    out["r2"] = c.rolling(WINDOW).corr(sma) ** 2
    out["pv"] = np.sqrt((np.log(h / low) ** 2).rolling(WINDOW).mean() / (4.0 * math.log(2.0)))
    o = df["open"]
    rs_term = np.log(low / o) * np.log(low / c) + np.log(h / o) * np.log(h / c)
    out["rs"] = np.sqrt(rs_term.rolling(WINDOW).mean())
    out["z"] = (c - sma) / c.rolling(WINDOW).std()
    out["dist"] = c - sma
    return pd.DataFrame(out)


def talib_features(arr):
    c = arr[:, 3].copy()
    sma = talib.SMA(c, WINDOW)
    return [sma, talib.EMA(c, WINDOW), talib.KAMA(c, WINDOW), talib.ROCP(c, 10), (c - sma) / talib.STDDEV(c, WINDOW, 1.0)]


def pandas_targets(t, c, h):
    ct = pd.Series(c)
    fret = (ct.shift(-h) - ct) / ct
    lr = np.log(ct / ct.shift(1))
    fvol = lr.rolling(h).std().shift(-h)
    ts = pd.Series(t)
    fslope = (ct.rolling(h).cov(ts) / ts.rolling(h).var()).shift(-(h - 1))
    fr2 = (ct.rolling(h).corr(ts) ** 2).shift(-(h - 1))
    return pd.DataFrame({"fret": fret, "fvol": fvol, "fslope": fslope, "fr2": fr2})


def talib_targets(t, c, h):
    def ahead(x, k):
        out = np.full_like(x, np.nan)
        out[: len(x) - k] = x[k:]
        return out

    lr = np.empty_like(c)
    lr[0] = np.nan
    lr[1:] = np.log(c[1:] / c[:-1])
    vol = talib.STDDEV(lr, h, 1.0) * math.sqrt(h / (h - 1.0))  # population -> sample
    return [ahead(talib.ROCP(c, h), h), ahead(vol, h), ahead(talib.LINEARREG_SLOPE(c, h), h - 1),
            ahead(talib.CORREL(t, c, h) ** 2, h - 1)]


def output_alone(shape):
    """A side that only builds (and drops) lists of floats of the shape
    run_research returns, from an array: what the output form costs."""

    def make():
        values = np.full(shape, 1.5)

        def run():
            t0 = now()
            values.tolist()
            return now() - t0

        return run

    return make

# The features pandas and polars share with the pipeline (all but Kama) and
# the five TA-Lib batch computes: the array path runs exactly these sets too.
def shared_with_frames(w=WINDOW):
    return [t for t in twelve(w) if not isinstance(t, vx.Kama)]


def shared_with_talib(w=WINDOW):
    return [vx.Sma(["close"], w, ["sma"]), vx.Ema(["close"], w, ["ema"]), vx.Kama(["close"], w, ["kama"]),
            vx.SimpleReturn(["close"], 10, ["ret10"]), vx.RollingZScore(["close"], w, ["z"])]


def polars_features(df):
    c, h, low, o = pl.col("close"), pl.col("high"), pl.col("low"), pl.col("open")
    sma = c.rolling_mean(WINDOW)
    lr = (c / c.shift(1)).log()
    rs_term = (low / o).log() * (low / c).log() + (h / o).log() * (h / c).log()
    return df.select(
        sma.alias("sma"),
        c.ewm_mean(span=WINDOW, adjust=False).alias("ema"),
        c.pct_change(10).alias("ret10"),
        lr.alias("lr"),
        lr.rolling_skew(WINDOW).alias("skew"),
        lr.rolling_kurtosis(WINDOW).alias("kurt"),
        (pl.rolling_cov(c, sma, window_size=WINDOW) / sma.rolling_var(WINDOW)).alias("slope"),
        (pl.rolling_corr(c, sma, window_size=WINDOW) ** 2).alias("r2"),
        (((h / low).log() ** 2).rolling_mean(WINDOW) / (4.0 * math.log(2.0))).sqrt().alias("pv"),
        rs_term.rolling_mean(WINDOW).sqrt().alias("rs"),
        ((c - sma) / c.rolling_std(WINDOW)).alias("z"),
        (c - sma).alias("dist"),
    )


def polars_targets(df, h):
    c, t = pl.col("close"), pl.col("t")
    lr = (c / c.shift(1)).log()
    return df.select(
        ((c.shift(-h) - c) / c).alias("fret"),
        lr.rolling_std(h).shift(-h).alias("fvol"),
        (pl.rolling_cov(c, t, window_size=h) / t.rolling_var(h)).shift(-(h - 1)).alias("fslope"),
        (pl.rolling_corr(c, t, window_size=h) ** 2).shift(-(h - 1)).alias("fr2"),
    )


def targets(h=WINDOW):
    return vx.TargetPipeline(
        [vx.FutureReturn(["close"], h, ["fret"]), vx.FutureCTCVolatility("close", h),
         vx.FutureLinearSlope(["t", "close"], h, ["fslope", "fr2"])],
        ["t", "close"],
    )


def timed_call(call):
    def make():
        def run():
            t0 = now()
            call()
            return now() - t0

        return run

    return make


def into_side(make_pipeline, data, width, threads=None):
    """The array path: one output array, allocated (and touched) untimed;
    with `threads`, the pipeline's transforms spread over that many."""

    def make():
        p = make_pipeline()
        # np.full, not np.zeros: zeros are mapped lazily, and their first touch would be timed.
        out = np.full((len(data) if not isinstance(data, list) else len(data[0]), width), 0.0)
        options = {} if threads is None else {"threads": threads}

        def run():
            t0 = now()
            p.run_research_into(data, out, **options)
            return now() - t0

        return run

    return make


# polars reads its thread count once, at import: the one-thread side lives in
# a child process started with POLARS_MAX_THREADS=1, which times one call per
# request so its rounds interleave with the others.
POLARS_CHILD = r"""
import sys, time, numpy as np, polars as pl
sys.path.insert(0, sys.argv[1])
from groups import research
arr = np.load(sys.argv[2])
kind = sys.argv[3]
if kind == "features":
    df = pl.DataFrame({k: arr[:, i] for i, k in enumerate(research.OHLCV)})
    call = lambda: research.polars_features(df)
else:
    df = pl.DataFrame({"t": arr[0], "close": arr[1]})
    call = lambda: research.polars_targets(df, research.WINDOW)
print(pl.thread_pool_size(), flush=True)
for line in sys.stdin:
    t0 = time.perf_counter_ns()
    call()
    print(time.perf_counter_ns() - t0, flush=True)
"""


class PolarsChild:
    def __init__(self, arr, kind, tmp):
        path = pathlib.Path(tmp) / f"{kind}.npy"
        np.save(path, arr)
        env = dict(os.environ, POLARS_MAX_THREADS="1")
        here = str(pathlib.Path(__file__).resolve().parent.parent)
        self.proc = subprocess.Popen([sys.executable, "-c", POLARS_CHILD, here, str(path), kind], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.threads = int(self.proc.stdout.readline())

    def side(self):
        def make():
            def run():
                self.proc.stdin.write("go\n")
                self.proc.stdin.flush()
                return int(self.proc.stdout.readline())

            return run

        return make

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


def two_threads_side(make_pipeline, data, width, threads):
    """`threads` pipelines, each over the whole dataset in its own thread, into outputs touched untimed as
    into_side's are: threads first touching fresh memory together contend in the kernel, which is not the
    throughput being compared."""

    def make():
        pipes = [make_pipeline() for _ in range(threads)]
        outs = [np.full((len(data), width), 0.0) for _ in range(threads)]

        def run():
            workers = [threading.Thread(target=p.run_research_into, args=(data, o)) for p, o in zip(pipes, outs)]
            t0 = now()
            for w in workers:
                w.start()
            for w in workers:
                w.join()
            return now() - t0

        return run

    return make


def one_thread_twice_side(make_pipeline, data, width):
    def make():
        pipes = [make_pipeline(), make_pipeline()]
        outs = [np.full((len(data), width), 0.0) for _ in range(2)]

        def run():
            t0 = now()
            for p, o in zip(pipes, outs):
                p.run_research_into(data, o)
            return now() - t0

        return run

    return make


PEAK_CHILD = r"""
import resource, sys, numpy as np
sys.path.insert(0, sys.argv[1])
from groups import research
n = int(sys.argv[2])
kind = sys.argv[3]
rng = np.random.default_rng(1)
if kind == "features":
    p = research.vx.FeaturePipeline(research.twelve(), research.OHLCV)
    data = 100.0 + rng.random((n, 5))
    out = np.ones((n, len(p.output_names())))
else:
    p = research.targets()
    data = np.ascontiguousarray(np.stack([np.arange(n, dtype=float), 100.0 + rng.random(n)]))
    out = np.ones((len(p.output_names()), n))
    data, out = list(data), list(out)
small = np.ones((8, 5)) if kind == "features" else [np.ones(64), np.ones(64)]
small_out = np.ones((8, len(p.output_names()))) if kind == "features" else list(np.ones((len(p.output_names()), 64)))
p.run_research_into(small, small_out)  # first call: lazily built tables, not the dataset's cost
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
p.run_research_into(data, out)
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
size = (sum(a.nbytes for a in data) if isinstance(data, list) else data.nbytes) +        (sum(a.nbytes for a in out) if isinstance(out, list) else out.nbytes)
print(size, (after - before) * 1024)
"""


def peak_memory(n, kind):
    """Inputs + outputs in bytes and the peak resident growth of one call over
    them, measured in a fresh process (ru_maxrss only ever grows)."""
    here = str(pathlib.Path(__file__).resolve().parent.parent)
    done = subprocess.run([sys.executable, "-c", PEAK_CHILD, here, str(n), kind], capture_output=True, text=True,
                          check=True)
    size, growth = done.stdout.split()
    return int(size), int(growth)


def measure(rows, n, rounds):
    data = repeat_to(rows, n)
    as_lists = [list(r) for r in data]
    results = {}
    if np is None:
        return results

    arr = np.ascontiguousarray(np.array(data, dtype=np.float64))
    fortran = np.asfortranarray(arr)
    width = len(vx.FeaturePipeline(twelve(), OHLCV).output_names())

    def run_pipeline(source):
        def make():
            p = vx.FeaturePipeline(twelve(), OHLCV)
            return timed_call(lambda: p.run_research(source))()

        return make

    sides = {
        "vexal from lists": run_pipeline(as_lists),
        "vexal from a 2-D float64 array": run_pipeline(arr),
        "vexal from a Fortran-order array (iterated)": run_pipeline(fortran),
        OUTPUT_ALONE: output_alone((n, width)),
    }
    coverage = {}
    if HAS_ARRAYS:
        sides[ARRAY] = into_side(lambda: vx.FeaturePipeline(twelve(), OHLCV), arr, width)
        sides[ARRAY + ", Fortran order"] = into_side(lambda: vx.FeaturePipeline(twelve(), OHLCV), fortran, width)
        sides[ARRAY + ", pandas' 11"] = into_side(lambda: vx.FeaturePipeline(shared_with_frames(), OHLCV), arr,
                                                  width - 1)
        sides[ARRAY + ", TA-Lib's 5"] = into_side(lambda: vx.FeaturePipeline(shared_with_talib(), OHLCV), arr, 5)
        sides[ARRAY + ", pandas' 11, two threads"] = into_side(
            lambda: vx.FeaturePipeline(shared_with_frames(), OHLCV), arr, width - 1, threads=2)
        sides[ARRAY + ", two threads"] = into_side(lambda: vx.FeaturePipeline(twelve(), OHLCV), arr, width,
                                                   threads=2)
        coverage[ARRAY + ", pandas' 11"] = "the 11 pandas and polars compute"
        coverage[ARRAY + ", pandas' 11, two threads"] = "the 11, run_research_into(threads=2)"
        coverage[ARRAY + ", two threads"] = "the twelve, run_research_into(threads=2)"
        coverage[ARRAY + ", TA-Lib's 5"] = "the 5 TA-Lib batch computes"
    if pd is not None:
        df = pd.DataFrame(arr, columns=OHLCV)

        def pandas_side(convert):
            def call():
                out = pandas_features(df)
                if convert:
                    out.to_numpy().tolist()

            return timed_call(call)

        sides["pandas"] = pandas_side(False)
        sides["pandas + output as lists"] = pandas_side(True)
        coverage["pandas"] = "11 of 12 (no KAMA); ewm is seeded with the first value, not an SMA"
    tmp = tempfile.TemporaryDirectory(prefix="vexal-bench-")
    children = []
    if pl is not None:
        pdf = pl.DataFrame({k: arr[:, i] for i, k in enumerate(OHLCV)})
        sides["polars"] = timed_call(lambda: polars_features(pdf))
        coverage["polars"] = f"11 of 12 (no KAMA), {pl.thread_pool_size()} threads"
        child = PolarsChild(arr, "features", tmp.name)
        children.append(child)
        sides["polars, 1 thread"] = child.side()
        coverage["polars, 1 thread"] = f"11 of 12 (no KAMA), {child.threads} thread"
    if talib is not None:
        def talib_side(convert):
            def call():
                cols = talib_features(arr)
                if convert:
                    np.column_stack(cols).tolist()

            return timed_call(call)

        sides["TA-Lib batch"] = talib_side(False)
        sides["TA-Lib batch + output as lists"] = talib_side(True)
        coverage["TA-Lib batch"] = "5 of 12: SMA, EMA, KAMA, ROCP, z-score from SMA and STDDEV"
    if HAS_ARRAYS:
        make12 = lambda: vx.FeaturePipeline(twelve(), OHLCV)  # noqa: E731
        sides["vexal arrays, two pipelines in one thread"] = one_thread_twice_side(make12, arr, width)
        sides["vexal arrays, two pipelines in two threads"] = two_threads_side(make12, arr, width, 2)
    medians = interleaved(sides, rounds, n, warm=warm_bytes(n))
    print("  research features: " + ", ".join(f"{k} {v:.0f} ns/bar" for k, v in medians.items()), flush=True)
    results["features"] = (medians, coverage)

    # Targets: column-oriented, x = bar index for the forward slope.
    h = WINDOW
    t = np.arange(n, dtype=np.float64)
    close = arr[:, 3].copy()
    cols_lists = [t.tolist(), close.tolist()]
    cols_arr = np.ascontiguousarray(np.stack([t, close]))
    twidth = len(targets().output_names())

    def run_targets(source):
        def make():
            p = targets()
            return timed_call(lambda: p.run_research(source))()

        return make

    tsides = {
        "vexal from lists": run_targets(cols_lists),
        "vexal from a 2-D float64 array": run_targets(cols_arr),
        "vexal from a list of 1-D arrays": run_targets([t, close]),
        OUTPUT_ALONE: output_alone((twidth, n)),
    }
    tcoverage = {}
    if HAS_ARRAYS:
        tsides[ARRAY] = into_side(targets, [t, close], twidth)
        tsides[ARRAY + ", bars × columns"] = into_side(targets, np.ascontiguousarray(cols_arr.T), twidth)
    if pd is not None:
        def pandas_t(convert):
            def call():
                out = pandas_targets(t, close, h)
                if convert:
                    [out[k].tolist() for k in out]

            return timed_call(call)

        tsides["pandas"] = pandas_t(False)
        tsides["pandas + output as lists"] = pandas_t(True)
        tcoverage["pandas"] = "4 of 4 outputs"
    if pl is not None:
        tdf = pl.DataFrame({"t": t, "close": close})
        tsides["polars"] = timed_call(lambda: polars_targets(tdf, h))
        child = PolarsChild(cols_arr, "targets", tmp.name)
        children.append(child)
        tsides["polars, 1 thread"] = child.side()
        tcoverage["polars"] = "4 of 4 outputs"
    if talib is not None:
        def talib_t(convert):
            def call():
                cols = talib_targets(t, close, h)
                if convert:
                    [c.tolist() for c in cols]

            return timed_call(call)

        tsides["TA-Lib batch"] = talib_t(False)
        tsides["TA-Lib batch + output as lists"] = talib_t(True)
        tcoverage["TA-Lib batch"] = "4 of 4 outputs (ROCP, STDDEV, LINEARREG_SLOPE, CORREL, shifted)"
    tmedians = interleaved(tsides, rounds, n, warm=warm_bytes(n))
    print("  research targets: " + ", ".join(f"{k} {v:.0f} ns/bar" for k, v in tmedians.items()), flush=True)
    results["targets"] = (tmedians, tcoverage)
    for child in children:
        child.close()
    tmp.cleanup()
    if HAS_ARRAYS:
        results["memory"] = {kind: peak_memory(n, kind) for kind in ("features", "targets")}
    return results


TITLES = (("features", "the twelve-transform FeaturePipeline"),
          ("targets", "TargetPipeline (FutureReturn, FutureCTCVolatility, FutureLinearSlope, horizon 20)"))


# The classic indicators: RSI 14, ATR 14, Bollinger bands (20, 2) and MACD
# 12/26/9, 11 outputs.
def classic_four():
    return [vx.Rsi(["close"], 14, ["rsi"]), vx.Atr(["high", "low", "close"], 14, ["atr"]),
            vx.BollingerBands(["close"], WINDOW, ["bm", "bu", "bl", "bp", "bw"]),
            vx.Macd(["close"], ["macd", "signal", "hist"])]


def talib_classic(arr):
    h, low, c = (arr[:, i].copy() for i in (1, 2, 3))
    return [talib.RSI(c, 14), talib.ATR(h, low, c, 14), *talib.BBANDS(c, WINDOW, 2.0, 2.0), *talib.MACD(c)]


def talipp_classic(closes, bars):
    ind = talipp_ind
    return [ind.RSI(14, input_values=closes), ind.ATR(14, input_values=bars), ind.BB(WINDOW, 2.0, input_values=closes),
            ind.MACD(12, 26, 9, input_values=closes)]


def measure_classic(rows, n, rounds):
    """The four over n bars: vexal (lists, array, array path), TA-Lib batch
    and talipp fed whole lists; talipp at most 100,000 bars, per bar."""
    data = repeat_to(rows, n)
    arr = np.ascontiguousarray(np.array(data, dtype=np.float64))
    width = len(vx.FeaturePipeline(classic_four(), OHLCV).output_names())
    per = {"vexal from lists": n, "vexal from a 2-D float64 array": n}
    sides = {
        "vexal from lists": timed_call(lambda: vx.FeaturePipeline(classic_four(), OHLCV).run_research(
            [list(r) for r in data])),
        "vexal from a 2-D float64 array": timed_call(
            lambda: vx.FeaturePipeline(classic_four(), OHLCV).run_research(arr)),
    }
    if HAS_ARRAYS:
        sides[ARRAY] = into_side(lambda: vx.FeaturePipeline(classic_four(), OHLCV), arr, width)
        per[ARRAY] = n
    if talib is not None:
        sides["TA-Lib batch"] = timed_call(lambda: talib_classic(arr))
        per["TA-Lib batch"] = n
    if talipp_ind is not None and talipp_ohlcv is not None:
        m = min(n, 100_000)
        closes = [r[3] for r in data[:m]]
        bars = [talipp_ohlcv.OHLCV(*r[:5]) for r in data[:m]]
        sides["talipp"] = timed_call(lambda: talipp_classic(closes, bars))
        per["talipp"] = m
    totals = interleaved(sides, rounds, 1, warm=warm_bytes(n))
    return {side: ns / per[side] for side, ns in totals.items()}


# Each classic indicator alone: its own pipeline through the array path,
# against its TA-Lib batch function and its talipp indicator.
def each_classic():
    def bands():
        return vx.BollingerBands(["close"], WINDOW, ["bm", "bu", "bl", "bp", "bw"])

    ind = talipp_ind
    return {
        "RSI 14": (lambda: vx.Rsi(["close"], 14, ["rsi"]), lambda h, low, c: talib.RSI(c, 14),
                   lambda closes, bars: ind.RSI(14, input_values=closes)),
        "ATR 14": (lambda: vx.Atr(["high", "low", "close"], 14, ["atr"]),
                   lambda h, low, c: talib.ATR(h, low, c, 14), lambda closes, bars: ind.ATR(14, input_values=bars)),
        "Bollinger 20/2": (bands, lambda h, low, c: talib.BBANDS(c, WINDOW, 2.0, 2.0),
                           lambda closes, bars: ind.BB(WINDOW, 2.0, input_values=closes)),
        "MACD 12/26/9": (lambda: vx.Macd(["close"], ["macd", "signal", "hist"]), lambda h, low, c: talib.MACD(c),
                         lambda closes, bars: ind.MACD(12, 26, 9, input_values=closes)),
    }


def measure_each_classic(rows, n, rounds):
    """indicator -> side -> ns per bar, for the sides installed."""
    if not HAS_ARRAYS:
        return {}
    data = repeat_to(rows, n)
    arr = np.ascontiguousarray(np.array(data, dtype=np.float64))
    h, low, c = (arr[:, i].copy() for i in (1, 2, 3))
    m = min(n, 100_000)
    closes = [r[3] for r in data[:m]]
    bars = [talipp_ohlcv.OHLCV(*r[:5]) for r in data[:m]] if talipp_ohlcv is not None else None
    found = {}
    for name, (make, batch, streamed) in each_classic().items():
        def pipeline(make=make):
            return vx.FeaturePipeline([make()], OHLCV)

        per = {ARRAY: n}
        sides = {ARRAY: into_side(pipeline, arr, len(pipeline().output_names()))}
        if talib is not None:
            sides["TA-Lib batch"] = timed_call(lambda batch=batch: batch(h, low, c))
            per["TA-Lib batch"] = n
        if talipp_ind is not None and bars is not None:
            sides["talipp"] = timed_call(lambda streamed=streamed: streamed(closes, bars))
            per["talipp"] = m
        totals = interleaved(sides, rounds, 1, warm=warm_bytes(n))
        found[name] = {side: ns / per[side] for side, ns in totals.items()}
    return found


def run(ctx):
    research = measure(ctx.rows, ctx.research_n, ctx.research_rounds)
    if not research:
        return Section("research", ["## Research", "", "numpy is not installed: not measured.", ""])
    n = ctx.research_n
    lines = []
    for key, title in TITLES:
        rm, cov = research[key]
        base = rm["vexal from lists"]
        lines += [f"## Research: {title}", "",
                  f"{ctx.settings.split(';')[0]}. Peers start from numpy arrays; \"+ output as lists\" adds the "
                  "conversion of their result to Python lists of floats (what `run_research` returns). "
                  f"\"{OUTPUT_ALONE}\" builds and drops lists of that shape and nothing else. "
                  f"\"{ARRAY}\" writes into a float64 array allocated before the call. Before each pass the "
                  "harness touches and frees twice a result's memory untimed, so that fresh arrays cost what "
                  "zeroing them costs (this virtual machine hands freed memory back to its host).", "",
                  "| side | ns per bar | s per run | × vexal from lists | covers |", "|---|---|---|---|---|"]
        for side, v in rm.items():
            lines.append(f"| {side} | {fmt_ns(v)} | {v * n / 1e9:.2f} | {v / base:.2f} | "
                         f"{cov.get(side, cov.get(side.split(' +')[0], ''))} |")
        lines.append("")
    if np is not None:
        classic = measure_classic(ctx.rows, ctx.research_n, ctx.research_rounds)
        research["classic"] = classic
        base = classic["vexal from lists"]
        lines += ["## Research: RSI, ATR, Bollinger bands and MACD", "",
                  "The four classic indicators (RSI 14, ATR 14, Bollinger 20/2, MACD 12/26/9; 11 outputs) over "
                  f"{ctx.research_n:,} bars in one pipeline, against TA-Lib batch on the same arrays and talipp "
                  "fed whole lists (at most 100,000 bars; talipp's ATR reads OHLCV objects built untimed).", "",
                  "| side | ns per bar | × vexal from lists |", "|---|---|---|"]
        for side, v in classic.items():
            lines.append(f"| {side} | {fmt_ns(v)} | {v / base:.2f} |")
        lines.append("")
        each = measure_each_classic(ctx.rows, ctx.research_n, ctx.research_rounds)
        if each:
            research["classic each"] = each
            lines += ["Each indicator alone, its own pipeline through the array path, against its TA-Lib batch "
                      "function and talipp (at most 100,000 bars, per bar):", "",
                      "| indicator | vexal arrays, ns per bar | TA-Lib batch | talipp | × TA-Lib batch |",
                      "|---|---|---|---|---|"]
            for name, sides in each.items():
                v, ta, tp = sides[ARRAY], sides.get("TA-Lib batch"), sides.get("talipp")
                cells = [fmt_ns(v), fmt_ns(ta) if ta else "-", fmt_ns(tp) if tp else "-",
                         f"{v / ta:.2f}" if ta else "-"]
                lines.append(f"| {name} | " + " | ".join(cells) + " |")
            lines.append("")
    if "memory" in research:
        lines += ["## Research: peak memory of the array path", "",
                  f"One call over {n:,} bars in a fresh process: the growth of its peak resident size during the "
                  "call, against the bytes of its inputs and outputs (allocated and touched before the call).", "",
                  "| pipeline | inputs + outputs, MiB | peak growth during the call, MiB |", "|---|---|---|"]
        for kind, (size, growth) in research["memory"].items():
            lines.append(f"| {kind} | {size / 2**20:.1f} | {growth / 2**20:.1f} |")
        lines.append("")
    return Section("research", lines, goals(research), [lambda ax: panel(ax, research, n)], data=research)


def goals(research):
    found = []
    for key in ("features", "targets"):
        rm = research[key][0]
        q = rm["vexal from lists"] / rm["vexal from a 2-D float64 array"]
        share = rm[OUTPUT_ALONE] / rm["vexal from a 2-D float64 array"]
        found.append((f"{key} `run_research` from a float64 array ≥ 3 × faster than from lists",
                      f"{q:.2f} × (building the result's lists alone is {share:.0%} of the call from an array)",
                      q >= 3))
    if ARRAY not in research["features"][0]:
        return found
    fm = research["features"][0]
    ours, ours11, ours5 = fm[ARRAY], fm[ARRAY + ", pandas' 11"], fm[ARRAY + ", TA-Lib's 5"]
    # Each goal is judged on one thread; the figure with the transforms spread
    # over two threads (as polars spreads its work) stands beside it.
    two11, two = fm.get(ARRAY + ", pandas' 11, two threads"), fm.get(ARRAY + ", two threads")
    if "polars" in fm:
        q = fm["polars"] / ours11
        found.append(("features, arrays: ≥ 4 × faster than polars (default threads), shared features",
                      f"{q:.2f} × (one-thread polars: {fm['polars, 1 thread'] / ours11:.2f} ×"
                      + (f"; vexal on two threads: {fm['polars'] / two11:.2f} ×" if two11 else "") + ")", q >= 4))
    if "pandas" in fm:
        q = fm["pandas"] / ours11
        found.append(("features, arrays: ≥ 8 × faster than pandas, shared features",
                      f"{q:.2f} ×" + (f" (on two threads: {fm['pandas'] / two11:.2f} ×)" if two11 else ""), q >= 8))
    if "TA-Lib batch" in fm:
        q = ours5 / fm["TA-Lib batch"]
        found.append(("features, arrays: ≤ 1.5 × TA-Lib batch's time on its 5", f"{q:.2f} ×", q <= 1.5))
    q = fm["vexal from lists"] / ours
    found.append(("features, arrays: ≥ 10 × faster than `run_research` from lists",
                  f"{q:.1f} ×" + (f" (on two threads: {fm['vexal from lists'] / two:.1f} ×)" if two else ""), q >= 10))
    tm = research["targets"][0]
    if "pandas" in tm:
        q = tm["pandas"] / tm[ARRAY]
        found.append(("targets, arrays: ≥ 3 × faster than pandas", f"{q:.2f} ×", q >= 3))
    if "TA-Lib batch" in tm:
        q = tm[ARRAY] / tm["TA-Lib batch"]
        found.append(("targets, arrays: ≤ 1.5 × TA-Lib batch's time", f"{q:.2f} ×", q <= 1.5))
    one = fm["vexal arrays, two pipelines in one thread"]
    two = fm["vexal arrays, two pipelines in two threads"]
    found.append(("two threads, a pipeline each: ≥ 1.8 × the throughput of one", f"{one / two:.2f} ×",
                  one / two >= 1.8))
    if "memory" in research:
        worst = max(g for _, g in research["memory"].values())
        found.append(("peak memory of a call: inputs + outputs + O(chunk × transforms)",
                      f"{worst / 2**20:.1f} MiB beyond inputs and outputs at most", worst < 64 * 2**20))
    return found


def panel(ax, research, n):
    rows = []
    for key, _ in TITLES:
        for side, v in research[key][0].items():
            rows.append((f"{key}: {side}", v * n / 1e9))
    ax.barh([r[0] for r in rows], [r[1] for r in rows])
    ax.set_xscale("log")
    ax.set_xlabel(f"seconds per run over {n:,} bars (log)")
    ax.set_title("Research mode")
    ax.invert_yaxis()
    ax.tick_params(axis="y", labelsize=6)
