"""vexal: streaming feature transforms for financial time series.

Every name of the native module ``_vexal`` is re-exported here unchanged:
its published names, then the classes registered after them.
``research`` and ``label`` run pipelines from numpy arrays into numpy arrays
(see ``vexal.arrays``); they need numpy, imported on first use.
"""

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

__all__ = [*_vexal.__all__, *_LATER_CLASSES, "research", "label"]

_ARRAY_FUNCTIONS = ("research", "label")


def __getattr__(name: str):
    # Loaded on first use, so that importing vexal does not need numpy.
    if name in _ARRAY_FUNCTIONS:
        from . import arrays

        return getattr(arrays, name)
    raise AttributeError(f"module 'vexal' has no attribute {name!r}")


def __dir__() -> list[str]:
    return sorted([*globals(), *_ARRAY_FUNCTIONS])
