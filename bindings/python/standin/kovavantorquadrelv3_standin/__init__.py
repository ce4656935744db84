# SPDX-License-Identifier: MIT
"""The stand-in for the scanner maker's device library (VQUAD), for trying kovavantorquadrelv3
without a scanner. It is used only when asked for:

    import kovavantorquadrelv3_standin
    controls = kovavantorquadrelv3_standin.activate()   # before the first kovavantorquadrelv3.Library
    import kovavantorquadrelv3 as kova
    with kova.Library() as lib: ...

Installed beside the maker's library, it changes nothing until activate() is called: the system's
library binds to whichever device library the process has loaded first under the device library's
name, and nothing but activate() loads this one.
"""

import ctypes
import os
import sys
from typing import Optional

from ._version import VERSION as __version__

__all__ = ["activate", "path", "__version__"]

_NAME = "VQUAD.dll" if sys.platform == "win32" else "libVQUAD.so.1"
_controls: Optional[ctypes.CDLL] = None


def path() -> str:
    """Where the stand-in's library lies in this package."""
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), _NAME)


def activate() -> ctypes.CDLL:
    """Loads the stand-in as the process's device library and returns it, for its vqsim_* controls
    (simulator/vqsim.h). Raises RuntimeError when the system's library is already loaded, with
    the device library it found then."""
    global _controls
    if _controls is None:
        import kovavantorquadrelv3

        if kovavantorquadrelv3.library_loaded():
            raise RuntimeError("kovavantorquadrelv3 is loaded already, bound to the device library it found: "
                               "activate the stand-in before the first kovavantorquadrelv3.Library")
        _controls = ctypes.CDLL(path(), mode=getattr(ctypes, "RTLD_GLOBAL", 0))
    return _controls
