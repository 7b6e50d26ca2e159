"""The ``__module__`` of interface types: a string on the class, the
defining module's name on each interface.

Interfaces keep their defining module's name in ``__ibmodule__``, and
``__module__`` must read it on every interface. A property would do that,
but the interpreter hands out whatever a class's namespace holds under
``__module__`` as the class's own module name, and documentation tools
(``help``, ``pydoc``) join that with strings. So the descriptor is itself a
string, the name of the module that defines the class, and reads
``__ibmodule__`` when reached through an instance.
"""

from __future__ import annotations

from typing import Any

__all__ = ["ModuleName"]


class ModuleName(str):
    """A class's module name that answers ``__ibmodule__`` on its instances.

    Read-only on instances, as the core's own member is.
    """

    __slots__ = ()

    def __get__(self, instance: object, owner: type | None = None) -> Any:
        if instance is None:
            return self
        return instance.__ibmodule__  # type: ignore[attr-defined]  # interfaces carry it

    def __set__(self, instance: object, value: object) -> None:
        raise AttributeError("readonly attribute")

    def __delete__(self, instance: object) -> None:
        raise AttributeError("readonly attribute")
