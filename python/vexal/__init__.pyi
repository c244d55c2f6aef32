# The package re-exports every name of the native module.
from _vexal import *
from _vexal import __all__ as __all__
from _vexal import load as load
