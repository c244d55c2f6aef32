"""The demo's figure: the close with its moving averages, the two range volatilities and the MACD z-score."""

from __future__ import annotations

import math
import pathlib
from collections.abc import Sequence
from importlib.util import find_spec

AVERAGES = ("sma_20", "ema_12", "ema_26", "kama_10")
VOLATILITIES = ("parkinson_20", "rogers_satchell_20")
ZSCORE = "macd_z"
# Twenty-bar averages are told apart from the close only at a few hundred bars per figure.
RECENT_BARS = 500


def plotting_available() -> bool:
    return find_spec("matplotlib") is not None


def draw(target: pathlib.Path, title: str, x: Sequence, prices: dict[str, list[float]],
         features: dict[str, Sequence[float]]) -> tuple[int, int]:
    """Writes the figure to `target` (its format from the suffix) and returns its size in pixels."""
    # A Figure of its own, without pyplot: no display, no global state, the Agg canvas.
    from matplotlib.figure import Figure

    shown = slice(max(0, len(x) - RECENT_BARS), len(x))
    x = x[shown]
    prices = {k: v[shown] for k, v in prices.items()}
    features = {k: v[shown] for k, v in features.items()}
    span = f"the last {len(x)} of {shown.stop} bars" if shown.start else f"all {len(x)} bars"
    figure = Figure(figsize=(12, 8.5), dpi=100, layout="constrained")
    price, volatility, zscore = figure.subplots(3, 1, sharex=True, height_ratios=(3, 1.4, 1.4))
    price.plot(x, prices["close"], color="0.55", linewidth=1.6, label="close")
    for name, colour in zip(AVERAGES, ("tab:blue", "tab:orange", "tab:red", "tab:green")):
        price.plot(x, features[name], color=colour, linewidth=1.0, label=name)
    price.set_ylabel("price")
    price.legend(loc="upper left", ncols=5, framealpha=0.85)
    price.set_title(f"{title}, {span}: close and moving averages, range volatility, MACD z-score", loc="left")
    for name, colour in zip(VOLATILITIES, ("tab:purple", "tab:brown")):
        volatility.plot(x, features[name], color=colour, linewidth=0.8, label=name)
    volatility.set_ylabel("volatility\nper bar")
    volatility.legend(loc="upper left", ncols=2, framealpha=0.85)
    z = features[ZSCORE]
    zscore.plot(x, z, color="tab:cyan", linewidth=0.8, label=f"{ZSCORE} (fitted on the first 70%)")
    for level, style in ((0, "-"), (2, "--"), (-2, "--")):
        zscore.axhline(level, color="0.6", linewidth=0.7, linestyle=style)
    present = [abs(v) for v in z if not math.isnan(v)]
    if present:
        top = max(3.0, max(present) * 1.05)
        zscore.set_ylim(-top, top)
    zscore.set_ylabel("z-score")
    zscore.legend(loc="upper left", framealpha=0.85)
    for axes in (price, volatility, zscore):
        axes.grid(True, color="0.92")
        axes.margins(x=0.005)
    figure.savefig(target)
    width, height = figure.get_size_inches() * figure.dpi
    return round(width), round(height)
