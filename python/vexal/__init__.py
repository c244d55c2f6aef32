"""vexal: streaming feature transforms for financial time series.

Every name of the native module ``_vexal`` is re-exported here unchanged. ``research``, ``label`` and
``dataset`` run pipelines over DataFrames, Arrow tables, numpy arrays and mappings of columns (see
``vexal.frames``; numpy arrays alone: ``vexal.arrays``). They need numpy, and narwhals for DataFrames
(``pip install 'vexal[frames]'``), imported on first use. ``vexal.model_selection`` splits the result for
cross-validation without leaking labels; ``uniqueness_weights`` comes from it.
The classes the native module registers after its published names are re-exported too.
"""

from importlib import metadata as _metadata

import _vexal
from _vexal import *  # noqa: F401,F403
from _vexal import load  # noqa: F401  (a function, outside __all__)

# The classes the native module registers after its published names, in
# registration order.
_LATER_CLASSES = [
    name for name, obj in vars(_vexal).items()
    if not name.startswith("_") and name not in _vexal.__all__ and isinstance(obj, type)
]
globals().update({name: getattr(_vexal, name) for name in _LATER_CLASSES})

# The cross-sectional features a FeatureBook and research(cross=...) take.
from .cross import CrossDemean, CrossRank, CrossZScore  # noqa: E402,F401

_CROSS_CLASSES = ["CrossRank", "CrossZScore", "CrossDemean"]
_FRAME_FUNCTIONS = ("research", "label", "dataset", "book_bars")
# vexal.model_selection's function for sample weights, which needs numpy.
_WEIGHT_FUNCTIONS = ("uniqueness_weights",)
# Every public name, as the native module registers them: its twenty, load,
# the later classes, the cross-sectional features; then the functions over frames and the weights.
__all__ = [*_vexal.__all__, "load", *_LATER_CLASSES, *_CROSS_CLASSES, *_FRAME_FUNCTIONS, *_WEIGHT_FUNCTIONS]

try:
    __version__ = _metadata.version("vexal")
except _metadata.PackageNotFoundError:  # a source tree on sys.path, not installed
    __version__ = "0+unknown"


def __getattr__(name: str):
    # Loaded on first use, so that importing vexal needs neither numpy nor narwhals.
    if name in _FRAME_FUNCTIONS:
        from . import frames

        return getattr(frames, name)
    if name in _WEIGHT_FUNCTIONS:
        from . import model_selection

        return getattr(model_selection, name)
    raise AttributeError(f"module 'vexal' has no attribute {name!r}")


def __dir__() -> list[str]:
    return sorted([*globals(), *_FRAME_FUNCTIONS, *_WEIGHT_FUNCTIONS])
