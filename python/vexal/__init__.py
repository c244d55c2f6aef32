"""vexal: streaming feature transforms for financial time series.

Every name of the native module ``_vexal`` is re-exported here unchanged.
``research`` and ``label`` run pipelines from numpy arrays into numpy arrays
(see ``vexal.arrays``); they need numpy, imported on first use.
"""

import _vexal
from _vexal import *  # noqa: F401,F403
from _vexal import load  # noqa: F401  (outside __all__, which keeps the native names only)

__all__ = [*_vexal.__all__, "research", "label"]

_ARRAY_FUNCTIONS = ("research", "label")


def __getattr__(name: str):
    # Loaded on first use, so that importing vexal does not need numpy.
    if name in _ARRAY_FUNCTIONS:
        from . import arrays

        return getattr(arrays, name)
    raise AttributeError(f"module 'vexal' has no attribute {name!r}")


def __dir__() -> list[str]:
    return sorted([*globals(), *_ARRAY_FUNCTIONS])
