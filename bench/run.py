#!/usr/bin/env python3
"""Benchmarks of vexal against the floor of a native call and its peers.

    python bench/run.py            # the full run, writes bench/results.md and bench/results.png
    python bench/run.py --quick    # a small smoke run, same tables, not for quoting

Installs nothing. Needs vexal installed and a C compiler (for the floor);
numpy, pandas, ta-lib, talipp and matplotlib are optional: a group or a
column whose peer is missing is reported as such. Every comparison runs its
sides in this one process, interleaved round by round (the order rotates),
and reports the median of the rounds; the garbage collector is off while a
side is timed, for every side alike.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import csv
import ctypes
import datetime
import gc
import importlib
import importlib.metadata
import importlib.util
import math
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import sysconfig
import tempfile
import time

# numpy's BLAS threads keep spinning after a numpy call; on a small machine
# they would take the core a live loop runs on. Nothing here uses BLAS.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

import pure  # noqa: E402

try:
    import _vexal as vx
except ImportError:  # pragma: no cover - the one hard requirement
    sys.exit("vexal is not installed: pip install . (from the repository root)")


def optional(name):
    try:
        return importlib.import_module(name)
    except ImportError:
        return None


np = optional("numpy")
pd = optional("pandas")
talib = optional("talib")
talib_stream = optional("talib.stream") if talib else None
talipp_ind = optional("talipp.indicators")
talipp_ohlcv = optional("talipp.ohlcv")
plt = None  # imported only when the chart is drawn

WINDOW = 20
FLOOR_13 = "floor, 5 values in, 13 out"
CORE_ALONE = "vexal core alone (C++, no Python)"
OUTPUT_ALONE = "the result's lists alone (an array's tolist)"
now = time.perf_counter_ns


# -- the floor -----------------------------------------------------------------


def build_floor(build_dir: pathlib.Path):
    """Compiles floor.c into build_dir and imports it."""
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    target = build_dir / f"vexal_floor{suffix}"
    cc = (sysconfig.get_config_var("CC") or "cc").split()
    include = sysconfig.get_paths()["include"]
    cmd = [*cc, "-O2", "-shared", "-fPIC", f"-I{include}", str(HERE / "floor.c"), "-o", str(target)]
    subprocess.run(cmd, check=True)
    module_source = importlib.util.spec_from_file_location("vexal_floor", target)
    module = importlib.util.module_from_spec(module_source)
    module_source.loader.exec_module(module)
    return module


def build_core_alone(build_dir: pathlib.Path):
    """Compiles core_alone.cpp with the core's sources into a shared library
    and loads it with ctypes; None (with the reason printed) when there is no
    C++ compiler or the build fails. The flags are the library's own."""
    cxx = (os.environ.get("CXX") or sysconfig.get_config_var("CXX") or "c++").split()
    flags = ["-std=c++23", "-O3", "-DNDEBUG", "-fPIC", "-ffp-contract=off", "-fno-fast-math", f"-I{ROOT / 'core' / 'src'}"]
    sources = sorted((ROOT / "core" / "src").rglob("*.cpp")) + [HERE / "core_alone.cpp"]
    objects = [build_dir / f"{i}.o" for i in range(len(sources))]

    def compile_one(pair):
        src, obj = pair
        return subprocess.run([*cxx, *flags, "-c", str(src), "-o", str(obj)], capture_output=True, text=True)

    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
            failed = [r for r in pool.map(compile_one, zip(sources, objects)) if r.returncode != 0]
        if failed:
            print(f"  core alone not built: {failed[0].stderr.strip()[:300]}", flush=True)
            return None
        target = build_dir / "libvexal_core_alone.so"
        subprocess.run([*cxx, "-shared", *map(str, objects), "-o", str(target)], check=True)
    except (OSError, subprocess.CalledProcessError) as e:
        print(f"  core alone not built: {e}", flush=True)
        return None
    lib = ctypes.CDLL(str(target))
    lib.vexal_core_pipeline_ns.restype = ctypes.c_double
    lib.vexal_core_pipeline_ns.argtypes = [ctypes.POINTER(ctypes.c_double), ctypes.c_size_t, ctypes.c_size_t]
    lib.vexal_core_transform_ns.restype = ctypes.c_double
    lib.vexal_core_transform_ns.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_double), ctypes.c_size_t,
                                            ctypes.c_size_t, ctypes.c_size_t]
    return lib


# -- data ------------------------------------------------------------------------


def find_data_dir(given):
    for candidate in [given, ROOT.parent / "shared" / "data", ROOT / "python" / "vexal" / "data"]:
        if candidate and (pathlib.Path(candidate) / "SPY_D.csv").exists():
            return pathlib.Path(candidate)
    sys.exit("no data directory with SPY_D.csv found; pass --data")


def load_ohlcv(data_dir: pathlib.Path):
    """Hourly BTC-USD (oldest first) when present, else daily SPY: rows of
    [open, high, low, close, volume]."""
    coinbase = data_dir / "Coinbase_BTCUSD_1h.csv"
    if coinbase.exists():
        with coinbase.open(newline="") as f:
            next(f)  # banner line
            rows = [[float(r[k]) for k in ("open", "high", "low", "close", "volume")] for r in csv.DictReader(f)]
        rows.reverse()
        return "Coinbase_BTCUSD_1h.csv", rows
    with (data_dir / "SPY_D.csv").open(newline="") as f:
        rows = [[float(r[k]) for k in ("open", "high", "low", "close", "volume")] for r in csv.DictReader(f)]
    return "SPY_D.csv", rows


def repeat_to(rows, n):
    out = []
    while len(out) < n:
        out.extend(rows[: n - len(out)])
    return out


# -- timing ----------------------------------------------------------------------


def timed(run):
    gc.disable()
    try:
        return run()
    finally:
        gc.enable()


def interleaved(sides: dict, rounds: int, units: int):
    """sides: label -> make(), where make() sets up untimed and returns a
    run() that does one timed pass and returns its elapsed nanoseconds.
    Returns label -> median ns per unit."""
    samples = {label: [] for label in sides}
    labels = list(sides)
    for label in labels:  # one untimed pass each: caches, allocator, branch history
        timed(sides[label]())
    for r in range(rounds):
        shift = r % len(labels)
        for label in labels[shift:] + labels[:shift]:
            run = sides[label]()
            samples[label].append(timed(run) / units)
        gc.collect()
    return {label: statistics.median(v) for label, v in samples.items()}


def loop_update(make_obj, bars):
    """A side that calls obj.update(bar) for every bar."""

    def make():
        update = make_obj().update

        def run():
            t0 = now()
            for bar in bars:
                update(bar)
            return now() - t0

        return run

    return make


def loop_talipp(make_ind, xs):
    def make():
        ind = make_ind()
        add = ind.add

        def run():
            t0 = now()
            for x in xs:
                add(x)
                ind[-1]
            return now() - t0

        return run

    return make


def loop_stream(make_stream, xs):
    def make():
        update = make_stream().update

        def run():
            t0 = now()
            for x in xs:
                update(x)
            return now() - t0

        return run

    return make


# -- live, per update ------------------------------------------------------------


def live_group(floor, core, rows, n, rounds):
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
    }
    table = []
    for name, (ours, py, bars, tp, ts) in cases.items():
        sides = {
            "floor": loop_update(floor.Floor, bars),
            "vexal": loop_update(ours, bars),
            "pure Python": loop_update(py, bars),
        }
        if core is not None:
            sides["core alone"] = core_alone_side(core, bars, name)
        if tp == "zscore":
            if talipp_ind:
                sides["talipp"] = talipp_zscore(closes)
        elif tp is not None:
            sides["talipp"] = loop_talipp(tp, closes)
        if ts == "zscore":
            if talib_stream:
                sides["TA-Lib stream"] = stream_zscore(closes)
        elif ts == "slope":
            if talib_stream:
                sides["TA-Lib stream"] = stream_slope(pairs)
        elif ts is not None:
            sides["TA-Lib stream"] = loop_stream(ts, closes)
        medians = interleaved(sides, rounds, len(bars))
        table.append((name, medians))
        print(f"  live {name}: " + ", ".join(f"{k} {v:.0f} ns" for k, v in medians.items()), flush=True)
    return table


# -- the twelve-transform pipeline -------------------------------------------------

OHLCV = ["open", "high", "low", "close", "volume"]


def twelve(w=WINDOW):
    return [
        vx.Sma(["close"], w, ["sma"]),
        vx.Ema(["close"], w, ["ema"]),
        vx.Kama(["close"], w, ["kama"]),
        vx.SimpleReturn(["close"], 10, ["ret10"]),
        vx.LogReturn(["close"], 1, ["lr"]),
        vx.Skewness(["lr"], w, ["skew"]),
        vx.Kurtosis(["lr"], w, ["kurt"]),
        vx.LinearSlope(["sma", "close"], w, ["slope", "r2"]),
        vx.ParkinsonVolatility(["high", "low"], w, ["pv"]),
        vx.RogersSatchellVolatility(["high", "low", "open", "close"], w, ["rs"]),
        vx.RollingZScore(["close"], w, ["z"]),
        vx.Subtract(["close", "sma"], ["dist"]),
    ]


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


def core_alone_side(core, bars, transform=None):
    """The pipeline (or one transform, by class name) run by the core alone,
    from C++ over the same bars: a side whose run returns ns for all bars."""
    width = len(bars[0])
    flat = (ctypes.c_double * (width * len(bars)))(*(x for r in bars for x in r))

    def make():
        def run():
            if transform is None:
                ns = core.vexal_core_pipeline_ns(flat, len(bars), WINDOW)
            else:
                ns = core.vexal_core_transform_ns(transform.encode(), flat, len(bars), width, WINDOW)
            if ns < 0:
                raise RuntimeError(f"the core could not build {transform or 'the pipeline'}")
            return ns

        return run

    return make


def pipeline_group(floor, core, rows, n, rounds):
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


# -- research ------------------------------------------------------------------------


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


def research_group(rows, n, rounds):
    data = repeat_to(rows, n)
    as_lists = [list(r) for r in data]
    results = {}
    if np is None:
        return results

    arr = np.ascontiguousarray(np.array(data, dtype=np.float64))
    fortran = np.asfortranarray(arr)

    def run_pipeline(source):
        def make():
            p = vx.FeaturePipeline(twelve(), OHLCV)

            def run():
                t0 = now()
                p.run_research(source)
                return now() - t0

            return run

        return make

    sides = {
        "vexal from lists": run_pipeline(as_lists),
        "vexal from a 2-D float64 array": run_pipeline(arr),
        "vexal from a Fortran-order array (iterated)": run_pipeline(fortran),
        OUTPUT_ALONE: output_alone((n, len(vx.FeaturePipeline(twelve(), OHLCV).output_names()))),
    }
    coverage = {}
    if pd is not None:
        df = pd.DataFrame(arr, columns=OHLCV)

        def pandas_side(convert):
            def make():
                def run():
                    t0 = now()
                    out = pandas_features(df)
                    if convert:
                        out.to_numpy().tolist()
                    return now() - t0

                return run

            return make

        sides["pandas"] = pandas_side(False)
        sides["pandas + output as lists"] = pandas_side(True)
        coverage["pandas"] = "11 of 12 (no KAMA); ewm is seeded with the first value, not an SMA"
    if talib is not None:
        def talib_side(convert):
            def make():
                def run():
                    t0 = now()
                    cols = talib_features(arr)
                    if convert:
                        np.column_stack(cols).tolist()
                    return now() - t0

                return run

            return make

        sides["TA-Lib batch"] = talib_side(False)
        sides["TA-Lib batch + output as lists"] = talib_side(True)
        coverage["TA-Lib batch"] = "5 of 12: SMA, EMA, KAMA, ROCP, z-score from SMA and STDDEV"
    medians = interleaved(sides, rounds, n)
    print("  research features: " + ", ".join(f"{k} {v:.0f} ns/bar" for k, v in medians.items()), flush=True)
    results["features"] = (medians, coverage)

    # Targets: column-oriented, x = bar index for the forward slope.
    h = WINDOW
    t = np.arange(n, dtype=np.float64)
    close = arr[:, 3].copy()
    cols_lists = [t.tolist(), close.tolist()]
    cols_arr = np.ascontiguousarray(np.stack([t, close]))

    def targets():
        return vx.TargetPipeline(
            [vx.FutureReturn(["close"], h, ["fret"]), vx.FutureCTCVolatility("close", h),
             vx.FutureLinearSlope(["t", "close"], h, ["fslope", "fr2"])],
            ["t", "close"],
        )

    def run_targets(source):
        def make():
            p = targets()

            def run():
                t0 = now()
                p.run_research(source)
                return now() - t0

            return run

        return make

    tsides = {
        "vexal from lists": run_targets(cols_lists),
        "vexal from a 2-D float64 array": run_targets(cols_arr),
        "vexal from a list of 1-D arrays": run_targets([t, close]),
        OUTPUT_ALONE: output_alone((len(targets().output_names()), n)),
    }
    tcoverage = {}
    if pd is not None:
        def pandas_t(convert):
            def make():
                def run():
                    t0 = now()
                    out = pandas_targets(t, close, h)
                    if convert:
                        [out[k].tolist() for k in out]
                    return now() - t0

                return run

            return make

        tsides["pandas"] = pandas_t(False)
        tsides["pandas + output as lists"] = pandas_t(True)
        tcoverage["pandas"] = "4 of 4 outputs"
    if talib is not None:
        def talib_t(convert):
            def make():
                def run():
                    t0 = now()
                    cols = talib_targets(t, close, h)
                    if convert:
                        [c.tolist() for c in cols]
                    return now() - t0

                return run

            return make

        tsides["TA-Lib batch"] = talib_t(False)
        tsides["TA-Lib batch + output as lists"] = talib_t(True)
        tcoverage["TA-Lib batch"] = "4 of 4 outputs (ROCP, STDDEV, LINEARREG_SLOPE, CORREL, shifted)"
    tmedians = interleaved(tsides, rounds, n)
    print("  research targets: " + ", ".join(f"{k} {v:.0f} ns/bar" for k, v in tmedians.items()), flush=True)
    results["targets"] = (tmedians, tcoverage)
    return results


# -- scaling ----------------------------------------------------------------------------

WINDOWS = [5, 10, 20, 50, 100, 200, 500, 1000]
COUNTS = [1, 2, 5, 10, 20, 50, 100]


def scaling_group(rows, n, rounds):
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


# -- report ------------------------------------------------------------------------------


def versions():
    def ver(mod, attr="__version__"):
        if not mod:
            return "not installed"
        found = getattr(mod, attr, None)
        if found is None:  # talipp keeps its version in its distribution's metadata only
            try:
                found = importlib.metadata.version(mod.__name__.split(".")[0])
            except importlib.metadata.PackageNotFoundError:
                found = "?"
        return found

    cpu = platform.processor() or "?"
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    try:
        commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"], capture_output=True,
                                text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        commit = "?"
    mpl = optional("matplotlib")
    talib_c = ""
    if talib is not None and hasattr(talib, "__ta_version__"):
        raw = talib.__ta_version__
        talib_c = f" (TA-Lib C {raw.decode() if isinstance(raw, bytes) else raw})"
    return [
        ("date", datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
        ("machine", f"{platform.system()} {platform.machine()}, {cpu}, {os.cpu_count()} cores"),
        ("python", platform.python_version()),
        ("vexal", f"commit {commit}"),
        ("numpy", ver(np)),
        ("pandas", ver(pd)),
        ("ta-lib", ver(talib) + talib_c),
        ("talipp", ver(optional("talipp"), "__version__") if optional("talipp") else "not installed"),
        ("matplotlib", ver(mpl)),
    ]


def fmt_ns(v):
    return f"{v:,.0f}" if v >= 100 else f"{v:.1f}"


def write_report(path, meta, floor_ns, live, pipe, research, scaling, chart_name, goals, settings):
    lines = ["# vexal benchmark results", ""]
    lines += ["Written by `python bench/run.py`; every number below is from this one run.", ""]
    lines += ["| | |", "|---|---|"] + [f"| {k} | {v} |" for k, v in meta] + [""]
    lines += [f"Settings: {settings}. Times are medians over the rounds; "
              "each comparison's sides ran interleaved in one process. "
              "\"× vexal\" is the peer's time divided by vexal's: above 1, vexal is faster.", ""]
    lines += [f"![chart]({chart_name})", ""]

    lines += ["## Goals", "", "| goal | measured | met |", "|---|---|---|"]
    lines += [f"| {g} | {m} | {'yes' if ok else '**no**'} |" for g, m, ok in goals] + [""]

    lines += ["## Floor", "",
              "A benchmark-only C extension (`bench/floor.c`, compiled by the bench into a temporary directory) "
              "whose `update` takes a list of floats exactly as vexal's does and returns a new one-float list, "
              "with no arithmetic: the bare cost of a live update from Python, loop included.", "",
              "| | ns per call |", "|---|---|", f"| floor | {fmt_ns(floor_ns)} |", ""]

    lines += ["## Live, per update (window 20)", "",
              "One bar per call, fed from a Python loop over real closes. TA-Lib's stateful streams "
              "(`talib.stream.X(history, ...).update(x)`) are seeded with 200 bars of history first; talipp's "
              "indicators are read back with `ind[-1]` after each `add`.", ""]
    peers = ["pure Python", "talipp", "TA-Lib stream"]
    lines += ["| transform | vexal ns | × floor | floor + core alone, ns | " +
              " | ".join(f"{p} ns | × vexal" for p in peers) + " |",
              "|---|---|---|---|" + "---|---|" * len(peers)]
    for name, m in live:
        ours = m["vexal"]
        bound = fmt_ns(m["floor"] + m["core alone"]) if "core alone" in m else "—"
        cells = [name, fmt_ns(ours), f"{ours / m['floor']:.2f}", bound]
        for p in peers:
            cells += [fmt_ns(m[p]), f"{m[p] / ours:.1f}"] if p in m else ["—", "—"]
        lines.append("| " + " | ".join(cells) + " |")
    lines += ["", "\"floor + core alone\" adds to the floor what the same updates cost the core from C++ "
              "(`bench/core_alone.cpp`, timed in the same rounds): roughly the least a call can cost that does "
              "this transform's arithmetic.", "",
              "RollingZScore's peers are composed of an SMA and a standard deviation (TA-Lib's STDDEV and "
              "talipp's StdDev are population deviations; vexal uses the sample deviation). LinearSlope regresses "
              "the close on the bar index; TA-Lib's equivalent is LINEARREG_SLOPE plus CORREL squared for R². "
              "Neither peer has a rolling skewness.", ""]

    pm, coverage = pipe
    ours = pm["vexal FeaturePipeline"]
    lines += ["## Live, twelve-transform pipeline", "",
              "Sma, Ema, Kama, SimpleReturn, LogReturn, Skewness and Kurtosis of the log return, LinearSlope of "
              "close on the SMA, Parkinson and Rogers-Satchell volatility, RollingZScore, Subtract: thirteen "
              "outputs per OHLCV bar.", "",
              f"Two rows bound what the pipeline can reach: \"{FLOOR_13}\" is the floor extension returning "
              "thirteen new floats for a five-value bar, the bare cost of a call of this shape; "
              f"\"{CORE_ALONE}\" runs the same twelve transforms through the core's pipeline from C++ "
              "(`bench/core_alone.cpp`, built by the bench with the library's flags, loaded with ctypes, timed in "
              "the same rounds), the cost of their arithmetic and routing with no boundary at all. Together they are roughly "
              "the least the pipeline's `update` can cost.", "",
              "| side | ns per bar | × floor | × vexal | covers |", "|---|---|---|---|---|"]
    for side, v in pm.items():
        lines.append(f"| {side} | {fmt_ns(v)} | {v / pm['floor']:.2f} | {v / ours:.2f} | {coverage.get(side, '')} |")
    lines.append("")

    if research:
        for key, title in (("features", "FeaturePipeline.run_research (the twelve transforms)"),
                           ("targets", "TargetPipeline.run_research (FutureReturn, FutureCTCVolatility, "
                                       "FutureLinearSlope, horizon 20)")):
            rm, cov = research[key]
            base = rm["vexal from lists"]
            lines += [f"## Research: {title}", "",
                      f"{settings.split(';')[0]}. Peers start from numpy arrays; \"+ output as lists\" adds the "
                      "conversion of their result to the form vexal returns (Python lists of floats). "
                      f"\"{OUTPUT_ALONE}\" builds and drops lists of that shape and nothing else: the share of "
                      "every side that returns Python lists which the output form alone costs.", "",
                      "| side | ns per bar | s per run | × vexal from lists | covers |", "|---|---|---|---|---|"]
            n = research["n"]
            for side, v in rm.items():
                lines.append(f"| {side} | {fmt_ns(v)} | {v * n / 1e9:.2f} | {v / base:.2f} | {cov.get(side.split(' +')[0], '')} |")
            lines.append("")

    by_window, by_count = scaling
    lines += ["## Scaling", "", "Live `update`, ns per bar, against the window:", "",
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
    path.write_text("\n".join(lines))


def draw_chart(path, floor_ns, live, pipe, research, scaling):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as mplt

    fig, axes = mplt.subplots(2, 2, figsize=(14, 10))
    ax = axes[0][0]
    sides = ["vexal", "pure Python", "talipp", "TA-Lib stream"]
    names = [n for n, _ in live] + ["12-transform pipeline"]
    width = 0.2
    pm = pipe[0]
    pipe_map = {"vexal": pm["vexal FeaturePipeline"], "pure Python": pm["pure Python, 12 objects"]}
    for i, side in enumerate(sides):
        ys = [m.get(side, 0) for _, m in live] + [pipe_map.get(side, 0)]
        ax.bar([x + i * width for x in range(len(names))], ys, width, label=side)
    ax.axhline(floor_ns, color="k", linestyle="--", label=f"floor ({floor_ns:.0f} ns)")
    ax.set_yscale("log")
    ax.set_xticks([x + 1.5 * width for x in range(len(names))], names, rotation=20)
    ax.set_ylabel("ns per update (log)")
    ax.set_title("Live, per update")
    ax.legend(fontsize=8)

    ax = axes[0][1]
    if research:
        rows = []
        for key in ("features", "targets"):
            for side, v in research[key][0].items():
                rows.append((f"{key}: {side}", v * research["n"] / 1e9))
        ax.barh([r[0] for r in rows], [r[1] for r in rows])
        ax.set_xlabel(f"seconds per run over {research['n']:,} bars")
        ax.set_title("Research mode")
        ax.invert_yaxis()
        ax.tick_params(axis="y", labelsize=7)
    else:
        ax.set_title("Research mode: numpy not installed")

    by_window, by_count = scaling
    ax = axes[1][0]
    for name, m in by_window.items():
        ax.plot(WINDOWS, [m[w] for w in WINDOWS], marker="o", label=name)
    ax.set_xlabel("window")
    ax.set_ylabel("ns per update")
    ax.set_title("Live cost against window")
    ax.legend()
    ax = axes[1][1]
    ax.plot(COUNTS, [by_count[k] for k in COUNTS], marker="o")
    ax.set_xlabel("transforms in the pipeline")
    ax.set_ylabel("ns per bar")
    ax.set_title("Pipeline cost against transforms")
    fig.tight_layout()
    fig.savefig(path, dpi=100)


def goals_of(live, pipe, research, scaling):
    goals = []
    m = dict(live)
    sma = m["Sma"]
    measured = f"{sma['vexal'] / sma['floor']:.2f} ×"
    if "core alone" in sma:
        measured += f" (floor + Sma's core alone: {(sma['floor'] + sma['core alone']) / sma['floor']:.2f} ×)"
    goals.append(("`Sma.update` (window 20) ≤ 1.5 × floor", measured, sma["vexal"] / sma["floor"] <= 1.5))
    pm = pipe[0]
    r = pm["vexal FeaturePipeline"] / pm["floor"]
    bound = f"{pm[FLOOR_13] / pm['floor']:.2f} × for the 13-float call alone"
    if CORE_ALONE in pm:
        bound += f", {pm[CORE_ALONE] / pm['floor']:.2f} × for the core's arithmetic alone"
    goals.append(("twelve-transform pipeline `update` ≤ 5 × floor", f"{r:.2f} × ({bound})", r <= 5))
    for name in ("Sma", "Ema", "Kama"):
        if "talipp" in m[name]:
            q = m[name]["talipp"] / m[name]["vexal"]
            ceiling = m[name]["talipp"] / m[name]["floor"]
            goals.append((f"{name}: ≥ 10 × faster than talipp", f"{q:.1f} × (the floor itself: {ceiling:.1f} ×)",
                          q >= 10))
        if "TA-Lib stream" in m[name]:
            q = m[name]["TA-Lib stream"] / m[name]["vexal"]
            goals.append((f"{name}: faster than TA-Lib's stream", f"{q:.2f} ×", q > 1))
    if research:
        for key in ("features", "targets"):
            rm = research[key][0]
            q = rm["vexal from lists"] / rm["vexal from a 2-D float64 array"]
            share = rm[OUTPUT_ALONE] / rm["vexal from a 2-D float64 array"]
            goals.append((f"{key} `run_research` from a float64 array ≥ 3 × faster than from lists",
                          f"{q:.2f} × (building the result's lists alone is {share:.0%} of the call from an array)",
                          q >= 3))
    by_window, by_count = scaling
    for name in ("Sma", "Skewness", "LinearSlope"):
        _, _, r2, worst = linear_fit(WINDOWS, [by_window[name][w] for w in WINDOWS])
        goals.append((f"{name}: linear in window", f"R² {r2:.4f}, worst residual {worst:.0%}",
                      r2 >= 0.99 and worst < 0.1))
    _, _, r2, worst = linear_fit(COUNTS, [by_count[k] for k in COUNTS])
    goals.append(("pipeline: linear in transforms", f"R² {r2:.4f}, worst residual {worst:.0%}",
                  r2 >= 0.99 and worst < 0.1))
    return goals


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="small sizes: a smoke run, not for quoting")
    ap.add_argument("--data", help="directory holding SPY_D.csv (and Coinbase_BTCUSD_1h.csv)")
    ap.add_argument("--out", default=str(HERE), help="where results.md and results.png go")
    args = ap.parse_args()

    live_n, rounds = (2000, 3) if args.quick else (20000, 15)
    research_n, research_rounds = (20000, 2) if args.quick else (1_000_000, 5)
    scale_n, scale_rounds = (2000, 2) if args.quick else (6000, 7)

    data_name, rows = load_ohlcv(find_data_dir(args.data))
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="vexal-floor-") as tmp:
        floor = build_floor(pathlib.Path(tmp))
        print("live, per update", flush=True)
        core = build_core_alone(pathlib.Path(tmp))
        live = live_group(floor, core, repeat_to(rows, live_n + 200), live_n, rounds)
        floor_ns = statistics.median(m["floor"] for _, m in live)
        pipe = pipeline_group(floor, core, repeat_to(rows, live_n + 200), live_n, rounds)
    print("research", flush=True)
    research = research_group(rows, research_n, research_rounds)
    if research:
        research["n"] = research_n
    print("scaling", flush=True)
    scaling = scaling_group(repeat_to(rows, scale_n), scale_n, scale_rounds)

    settings = (f"{research_n:,} research bars ({data_name} repeated); {live_n:,} live bars per round, "
                f"{rounds} rounds; research {research_rounds} rounds; scaling {scale_n:,} bars, {scale_rounds} rounds")
    goals = goals_of(live, pipe, research, scaling)
    chart = "results.png"
    try:
        draw_chart(out / chart, floor_ns, live, pipe, research, scaling)
    except ImportError:
        chart = "results.png (not drawn: matplotlib is not installed)"
    write_report(out / "results.md", versions(), floor_ns, live, pipe, research, scaling, chart, goals, settings)
    print(f"wrote {out / 'results.md'}")
    for goal, measured, ok in goals:
        print(f"  {'ok ' if ok else 'NOT'} {goal}: {measured}")


if __name__ == "__main__":
    main()
