"""The report: results.md (every group's section, the goals first) and
results.png (every group's chart panels in one grid)."""

from __future__ import annotations

import datetime
import importlib.metadata
import math
import os
import pathlib
import platform
import subprocess

from harness import ROOT, np, optional, pd, pl, talib


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
        ("polars", ver(pl)),
        ("ta-lib", ver(talib) + talib_c),
        ("talipp", ver(optional("talipp"), "__version__") if optional("talipp") else "not installed"),
        ("matplotlib", ver(mpl)),
    ]


def write_report(path, ctx, sections, chart_name):
    lines = ["# vexal benchmark results", ""]
    lines += ["Written by `python bench/run.py`; every number below is from this one run.", ""]
    lines += ["| | |", "|---|---|"] + [f"| {k} | {v} |" for k, v in versions()] + [""]
    lines += [f"Settings: {ctx.settings}. Times are medians over the rounds; "
              "each comparison's sides ran interleaved in one process. "
              "\"× vexal\" is the peer's time divided by vexal's: above 1, vexal is faster.", ""]
    lines += [f"![chart]({chart_name})", ""]
    lines += ["## Goals", "", "| goal | measured | met |", "|---|---|---|"]
    lines += [f"| {g} | {m} | {'yes' if ok else '**no**'} |" for s in sections for g, m, ok in s.goals] + [""]
    for s in sections:
        lines += s.lines
    path.write_text("\n".join(lines))


def draw_chart(path, sections):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as mplt

    panels = [p for s in sections for p in s.panels]
    if not panels:
        return
    cols = 2
    rows = math.ceil(len(panels) / cols)
    fig, axes = mplt.subplots(rows, cols, figsize=(14, 5 * rows), squeeze=False)
    for ax, draw in zip((a for row in axes for a in row), panels):
        draw(ax)
    for ax in list(a for row in axes for a in row)[len(panels):]:
        ax.set_visible(False)
    fig.tight_layout()
    fig.savefig(path, dpi=100)
