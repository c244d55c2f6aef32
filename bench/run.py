#!/usr/bin/env python3
"""Benchmarks of vexal against the floor of a native call and its peers.

    python bench/run.py            # the full run, writes bench/results.md and bench/results.png
    python bench/run.py --quick    # a small smoke run, same tables, not for quoting
    python bench/run.py --only research   # some groups only (by module name), for a look, not for results.md

Installs nothing. Needs vexal installed and a C compiler (for the floor);
numpy, pandas, polars, ta-lib, talipp and matplotlib are optional: a group
or a column whose peer is missing is reported as such. Every comparison
runs its sides in this one process, interleaved round by round (the order
rotates), and reports the median of the rounds; the garbage collector is
off while a side is timed, for every side alike.

The groups are the modules of bench/groups/, run in their ORDER; each
returns a harness.Section that report.py assembles.
"""

from __future__ import annotations

import argparse
import importlib
import pathlib
import pkgutil
import tempfile

import harness
import report

HERE = harness.HERE


def load_groups(only):
    import groups

    found = [importlib.import_module(f"groups.{m.name}") for m in pkgutil.iter_modules(groups.__path__)]
    if only:
        found = [g for g in found if g.__name__.split(".")[-1] in only]
    return sorted(found, key=lambda g: g.ORDER)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="small sizes: a smoke run, not for quoting")
    ap.add_argument("--data", help="directory holding SPY_D.csv (and Coinbase_BTCUSD_1h.csv)")
    ap.add_argument("--out", default=str(HERE), help="where results.md and results.png go")
    ap.add_argument("--only", nargs="*", help="run these groups only (module names in bench/groups)")
    args = ap.parse_args()

    live_n, rounds = (2000, 3) if args.quick else (20000, 15)
    research_n, research_rounds = (20000, 2) if args.quick else (1_000_000, 5)
    scale_n, scale_rounds = (2000, 2) if args.quick else (6000, 7)

    data_name, rows = harness.load_ohlcv(harness.find_data_dir(args.data))
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="vexal-floor-") as tmp:
        floor = harness.build_floor(pathlib.Path(tmp))
        core = harness.build_core_alone(pathlib.Path(tmp))
        ctx = harness.Context(args.quick, rows, data_name, floor, core, live_n, rounds, research_n,
                              research_rounds, scale_n, scale_rounds)
        sections = []
        for group in load_groups(args.only):
            name = group.__name__.split(".")[-1]
            print(name, flush=True)
            section = group.run(ctx)
            ctx.sections[section.key] = section
            sections.append(section)

    chart = "results.png"
    try:
        report.draw_chart(out / chart, sections)
    except ImportError:
        chart = "results.png (not drawn: matplotlib is not installed)"
    report.write_report(out / "results.md", ctx, sections, chart)
    print(f"wrote {out / 'results.md'}")
    for section in sections:
        for goal, measured, ok in section.goals:
            print(f"  {'ok ' if ok else 'NOT'} {goal}: {measured}")


if __name__ == "__main__":
    main()
