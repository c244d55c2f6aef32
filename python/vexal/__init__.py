"""vexal: streaming feature transforms for financial time series.

Every name of the native module ``_vexal`` is re-exported here unchanged.
"""

import _vexal
from _vexal import *  # noqa: F401,F403
from _vexal import load  # noqa: F401  (outside __all__, which keeps the native names only)

__all__ = list(_vexal.__all__)
