"""Which core the framework runs on, chosen once at import.

The C++ extension ``_trel_interface_coptimizations`` is used unless the
environment variable ``TREL_INTERFACE_PURE`` is set to anything but "" or
"0", or the extension cannot be imported; then the plain-Python core
``trel.interface._pure``, which has the same API and behaviour, serves.
"""

from __future__ import annotations

import os
from types import ModuleType
from typing import TYPE_CHECKING

__all__ = [
    "CORE",
    "ClassProvidesBase",
    "InterfaceBase",
    "LookupBase",
    "ObjectSpecificationDescriptor",
    "SpecificationBase",
    "VerifyingBase",
    "adapter_hooks",
    "core",
    "getObjectSpecification",
    "implementedBy",
    "providedBy",
    "speedups",
]

core: ModuleType
CORE: str

if os.environ.get("TREL_INTERFACE_PURE", "") not in ("", "0"):
    from trel.interface import _pure as core

    CORE = "python"
else:
    try:
        import _trel_interface_coptimizations as core
    except ImportError:
        from trel.interface import _pure as core

        CORE = "python"
    else:
        CORE = "c++"

# The framework's own C++ hot paths (``_trel_interface_speedups``), used
# with the C++ core when they can be imported; otherwise the framework's
# Python code serves, with the same behaviour.
speedups: ModuleType | None = None
if CORE == "c++":
    try:
        import _trel_interface_speedups as speedups
    except ImportError:
        speedups = None

if TYPE_CHECKING:
    # Which module serves is known only at run time. Both have the API that
    # the extension's stub describes (the plain core mirrors the extension,
    # and stubtest holds the extension to the stub), so the checker reads
    # the names from the stub whichever core runs.
    from _trel_interface_coptimizations import (
        ClassProvidesBase,
        InterfaceBase,
        LookupBase,
        ObjectSpecificationDescriptor,
        SpecificationBase,
        VerifyingBase,
        adapter_hooks,
        getObjectSpecification,
        implementedBy,
        providedBy,
    )
else:
    SpecificationBase = core.SpecificationBase
    ObjectSpecificationDescriptor = core.ObjectSpecificationDescriptor
    ClassProvidesBase = core.ClassProvidesBase
    InterfaceBase = core.InterfaceBase
    LookupBase = core.LookupBase
    VerifyingBase = core.VerifyingBase
    adapter_hooks = core.adapter_hooks
    implementedBy = core.implementedBy
    getObjectSpecification = core.getObjectSpecification
    providedBy = core.providedBy
