# The package re-exports every name of the native module, and the array
# functions of vexal.arrays.
from _vexal import *
from _vexal import load as load
from vexal.arrays import label as label, research as research

__all__: list[str]
