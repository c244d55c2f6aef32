"""The gallery's figures, drawn from the bundled data when the site builds.

The demo draws its own figure (``python -m vexal.demo --plot``); every family
of the registry gets one figure of its classes, each configured as its
description's example and fed the bundled daily SPY bars.
"""

from __future__ import annotations

import ast
import contextlib
import io
import math
import pathlib

import vexal
from vexal import demo

PRICES = ("open", "high", "low", "close", "volume")
# The last bars shown: enough for the longest example window to settle and
# for a twenty-bar average to be told apart from the close.
SHOWN = 300
# The demo's figure, on each bundled file.
DEMO_FILES = {"demo-spy.png": "SPY_D.csv", "demo-btc.png": "Coinbase_BTCUSD_1h.csv"}


def spy_columns() -> dict[str, list[float]]:
    columns, _, _ = demo.load_columns(demo.bundled_data(), {k: k for k in PRICES})
    close = columns["close"]
    ret = [math.nan] + [b / a - 1 for a, b in zip(close, close[1:])]
    columns["ret"] = ret
    columns["sign"] = [math.copysign(1.0, r) if r == r else r for r in ret]
    return columns


def column_for(name: str, columns: dict[str, list[float]]) -> list[float]:
    """The bundled column of that name; labels and sides read the close's sign, anything else its return."""
    if name in columns:
        return columns[name]
    return columns["sign"] if name in ("label", "side") else columns["ret"]


def build(example: str):
    call = ast.parse(example, mode="eval").body
    args = [ast.literal_eval(a) for a in call.args]
    kwargs = {k.arg: ast.literal_eval(k.value) for k in call.keywords}
    return getattr(vexal, call.func.id)(*args, **kwargs)


def run(d: dict, columns: dict[str, list[float]]) -> tuple[list[str], list[list[float]]]:
    """Each output of the class's example over the bundled bars, as columns."""
    obj = build(d["example"])
    inputs = [column_for(n, columns) for n in obj.input_names()]
    if d["kind"] == "target":
        pipeline = vexal.TargetPipeline([obj], obj.input_names())
        return obj.output_names(), pipeline.run_research(inputs)
    rows = [obj.update([c[i] for c in inputs]) for i in range(len(inputs[0]))]
    return obj.output_names(), [list(col) for col in zip(*rows)]


def draw_family(path: pathlib.Path, family: str, members: list[dict], columns: dict[str, list[float]]) -> None:
    from matplotlib.figure import Figure

    drawn = [d for d in members if d["example"]]
    figure = Figure(figsize=(10, 1.9 * (len(drawn) + 1)), dpi=90, layout="constrained")
    axes = figure.subplots(len(drawn) + 1, 1, sharex=True, squeeze=False)[:, 0]
    x = range(len(columns["close"]) - SHOWN, len(columns["close"]))
    axes[0].plot(x, columns["close"][-SHOWN:], color="0.4", linewidth=1.2)
    axes[0].set_title(f"{family}: the last {SHOWN} daily SPY bars", loc="left")
    axes[0].set_ylabel("close")
    for ax, d in zip(axes[1:], drawn):
        names, outputs = run(d, columns)
        for name, values in zip(names, outputs):
            ax.plot(x, values[-SHOWN:], linewidth=1.0, label=name)
        ax.set_ylabel(d["name"], rotation=0, ha="right", va="center")
        ax.legend(loc="upper left", fontsize="small", ncols=len(names))
    axes[-1].set_xlabel("bar")
    figure.savefig(path)


def figure_name(family: str) -> str:
    return f"family-{family}.png"


def draw_all(folder: pathlib.Path, ds: list[dict]) -> None:
    columns = spy_columns()
    families: dict[str, list[dict]] = {}
    for d in ds:
        families.setdefault(d["family"], []).append(d)
    for family, members in families.items():
        draw_family(folder / figure_name(family), family, members, columns)
    for name, data in DEMO_FILES.items():
        # The demo prints its summary; the build's log has no use for it.
        with contextlib.redirect_stdout(io.StringIO()):
            status = demo.main([data, "--plot", str(folder / name)])
        if status != 0:
            raise RuntimeError(f"python -m vexal.demo {data} --plot failed with status {status}")


def families_page(ds: list[dict]) -> str:
    out = []
    families: dict[str, list[str]] = {}
    for d in ds:
        families.setdefault(d["family"], []).append(d["name"])
    for family, names in families.items():
        out += [f"### {family.capitalize()}", "",
                ", ".join(f"{{py:class}}`~vexal.{n}`" for n in names), "",
                f"```{{image}} _figures/{figure_name(family)}", f":alt: {family}: {', '.join(names)} over daily SPY bars",
                ":width: 100%", "```", ""]
    return "\n".join(out)
