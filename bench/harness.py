"""What every benchmark group shares: the peers (each optional), the data,
the floor and core-alone builds, and interleaved timing.

A group is a module in bench/groups/ with an integer ORDER (its place in
the run and the report) and run(ctx) -> Section; run.py finds them all.
"""

from __future__ import annotations

import concurrent.futures
import csv
import ctypes
import dataclasses
import gc
import importlib
import importlib.util
import os
import pathlib
import statistics
import subprocess
import sys
import sysconfig
import time
from typing import Any

# numpy's BLAS threads keep spinning after a numpy call; on a small machine
# they would take the core a live loop runs on. Nothing here uses BLAS.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

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
pl = optional("polars")

WINDOW = 20
FLOOR_13 = "floor, 5 values in, 13 out"
CORE_ALONE = "vexal core alone (C++, no Python)"
now = time.perf_counter_ns


@dataclasses.dataclass
class Context:
    """What a group gets: sizes, the data, the native helpers and the
    sections of the groups that ran before it (by key)."""

    quick: bool
    rows: list
    data_name: str
    floor: Any
    core: Any
    live_n: int
    rounds: int
    research_n: int
    research_rounds: int
    scale_n: int
    scale_rounds: int
    sections: dict = dataclasses.field(default_factory=dict)

    @property
    def settings(self):
        return (f"{self.research_n:,} research bars ({self.data_name} repeated); {self.live_n:,} live bars per "
                f"round, {self.rounds} rounds; research {self.research_rounds} rounds; scaling {self.scale_n:,} "
                f"bars, {self.scale_rounds} rounds")


@dataclasses.dataclass
class Section:
    """A group's share of the report: its markdown (from its "## " heading
    on), its goals as (goal, measured, met), chart panels (each draws on one
    matplotlib axis) and its raw results for later groups."""

    key: str
    lines: list
    goals: list = dataclasses.field(default_factory=list)
    panels: list = dataclasses.field(default_factory=list)
    data: Any = None


def fmt_ns(v):
    return f"{v:,.0f}" if v >= 100 else f"{v:.1f}"


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
    lib.vexal_core_universe_ns.restype = ctypes.c_double
    lib.vexal_core_universe_ns.argtypes = [ctypes.POINTER(ctypes.c_double), ctypes.c_size_t, ctypes.c_size_t,
                                           ctypes.c_size_t]
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


def warm_memory(nbytes: int) -> None:
    """Touches and frees nbytes, untimed. A virtual machine that hands memory
    freed a few seconds ago back to its host makes the next first touch of
    that much memory cost many times what zeroing it costs elsewhere, and at
    random; this takes the memory back first, so that a side's fresh arrays
    cost what they cost on a machine that keeps its memory."""
    if nbytes and np is not None:
        np.ones(nbytes // 8)


def warm_bytes(bars: int) -> int:
    """Enough to warm for a pass over `bars` bars: twice a result of sixteen float64 columns."""
    return 2 * 16 * 8 * bars


def interleaved(sides: dict, rounds: int, units: int, warm: int = 0):
    """sides: label -> make(), where make() sets up untimed and returns a
    run() that does one timed pass and returns its elapsed nanoseconds.
    With `warm`, that many bytes go through warm_memory before each pass.
    Returns label -> median ns per unit."""
    samples = {label: [] for label in sides}
    labels = list(sides)
    for label in labels:  # one untimed pass each: caches, allocator, branch history
        timed(sides[label]())
    for r in range(rounds):
        shift = r % len(labels)
        for label in labels[shift:] + labels[:shift]:
            run = sides[label]()
            warm_memory(warm)
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


# -- shared by several groups ---------------------------------------------------

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
