"""The names the plugin recognises, as mypy spells them (fully qualified)."""

from __future__ import annotations

from mypy.errorcodes import ErrorCode
from mypy.nodes import TypeInfo

INTERFACE = "trel.interface.interface.Interface"
INTERFACE_CLASS = "trel.interface.interface.InterfaceClass"
# Made by the plugin: InterfaceClass and type, the metaclass of interfaces.
INTERFACE_METACLASS = "trel.interface.interface.InterfaceClass@type"
ATTRIBUTE = "trel.interface.attribute.Attribute"
INVARIANT = "trel.interface.interface.invariant"
IMPLEMENTER = frozenset(("trel.interface.declarations.implementer", "trel.interface.declarations.implementer_only"))
CLASS_IMPLEMENTS = frozenset(
    ("trel.interface.declarations.classImplements", "trel.interface.declarations.classImplementsOnly")
)
REGISTRY = "trel.interface.registry.AdapterRegistry"
# Everything the component layer defines lives under this package.
COMPONENT_PACKAGE = "trel.component"

IMPLEMENTS = ErrorCode(
    "trel-implements", "A class declared to implement an interface does not do what it describes", "General"
)
INTERFACE_STATEMENT = ErrorCode(
    "trel-interface", "An interface statement holds what an interface cannot describe", "General"
)
NOT_A_CLASS = ErrorCode("trel-not-a-class", "An interface used where a class is expected", "General")


# The plugin marks each interface it meets in its class's metadata, which
# mypy keeps in its cache with the class.
_MARK = "trel.interface"


def is_interface(info: TypeInfo) -> bool:
    """Whether ``info`` is an interface: ``Interface`` itself or a class based on it."""
    return _MARK in info.metadata


def mark_if_interface(info: TypeInfo) -> bool:
    """Mark ``info`` as an interface if it is one: the root, or a class with
    an interface among its bases (marked already: bases are analysed first)."""
    if info.fullname == INTERFACE or any(_MARK in base.type.metadata for base in info.bases):
        info.metadata[_MARK] = {}
        return True
    return False
