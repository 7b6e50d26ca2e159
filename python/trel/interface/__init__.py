"""Interface declarations, adaptation and adapter registries.

Define interfaces with class statements, declare what classes implement and
what objects provide, adapt objects by calling interfaces, and register and
query adapters in registries::

    from trel.interface import Interface, implementer

    class IGreeter(Interface):
        def greet(name):
            "Say hello to name."

    @implementer(IGreeter)
    class Greeter:
        def greet(self, name):
            return f"Hello, {name}!"

    assert IGreeter.providedBy(Greeter())

The fast core is the C++ extension ``_trel_interface_coptimizations``; the
plain-Python core ``trel.interface._pure`` stands in when the extension
cannot be imported or ``TREL_INTERFACE_PURE=1`` is set. ``CORE`` says which
one is running: ``"c++"`` or ``"python"``. ``__version__`` is the
distribution's version.

Names are imported on first use, so importing the package (or the core
alone) loads no more than it needs.

Type checkers: the mypy plugin ``trel.interface.mypy`` (``plugins =
["trel.interface.mypy"]`` under ``[tool.mypy]``) makes interface statements,
declarations, adaptation and ``providedBy`` checks understood.
"""

from __future__ import annotations

import importlib
from typing import TYPE_CHECKING

from trel.interface._version import __version__ as __version__

if TYPE_CHECKING:
    # What __getattr__ below imports on first use, as the checker sees it.
    from trel.interface._core import CORE, adapter_hooks, implementedBy, providedBy
    from trel.interface.attribute import Attribute, Method
    from trel.interface.declarations import (
        Declaration,
        alsoProvides,
        classImplements,
        classImplementsOnly,
        directlyProvidedBy,
        directlyProvides,
        implementer,
        implementer_only,
        moduleProvides,
        noLongerProvides,
        provider,
    )
    from trel.interface.exceptions import (
        BrokenImplementation,
        BrokenMethodImplementation,
        DoesNotImplement,
        Invalid,
        MultipleInvalid,
    )
    from trel.interface.interface import Interface, InterfaceClass, Specification, invariant, taggedValue
    from trel.interface.registry import AdapterRegistry, VerifyingAdapterRegistry
    from trel.interface.verify import verifyClass, verifyObject

_EXPORTS = {
    "CORE": "_core",
    "adapter_hooks": "_core",
    "providedBy": "_core",
    "implementedBy": "_core",
    "Attribute": "attribute",
    "Method": "attribute",
    "Interface": "interface",
    "InterfaceClass": "interface",
    "Specification": "interface",
    "invariant": "interface",
    "taggedValue": "interface",
    "Declaration": "declarations",
    "alsoProvides": "declarations",
    "classImplements": "declarations",
    "classImplementsOnly": "declarations",
    "directlyProvidedBy": "declarations",
    "directlyProvides": "declarations",
    "implementer": "declarations",
    "implementer_only": "declarations",
    "moduleProvides": "declarations",
    "noLongerProvides": "declarations",
    "provider": "declarations",
    "BrokenImplementation": "exceptions",
    "BrokenMethodImplementation": "exceptions",
    "DoesNotImplement": "exceptions",
    "Invalid": "exceptions",
    "MultipleInvalid": "exceptions",
    "AdapterRegistry": "registry",
    "VerifyingAdapterRegistry": "registry",
    "verifyClass": "verify",
    "verifyObject": "verify",
}

# Spelled out, for the checker and linters; the keys of _EXPORTS, sorted.
__all__ = [
    "CORE",
    "AdapterRegistry",
    "Attribute",
    "BrokenImplementation",
    "BrokenMethodImplementation",
    "Declaration",
    "DoesNotImplement",
    "Interface",
    "InterfaceClass",
    "Invalid",
    "Method",
    "MultipleInvalid",
    "Specification",
    "VerifyingAdapterRegistry",
    "adapter_hooks",
    "alsoProvides",
    "classImplements",
    "classImplementsOnly",
    "directlyProvidedBy",
    "directlyProvides",
    "implementedBy",
    "implementer",
    "implementer_only",
    "invariant",
    "moduleProvides",
    "noLongerProvides",
    "providedBy",
    "provider",
    "taggedValue",
    "verifyClass",
    "verifyObject",
]


def __getattr__(name: str) -> object:
    module = _EXPORTS.get(name)
    if module is None:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    value = getattr(importlib.import_module(f"{__name__}.{module}"), name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted(set(globals()) | set(_EXPORTS))
