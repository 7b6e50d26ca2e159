"""Interfaces, declarations and adaptation.

Run it: python examples/greeter.py (TREL_INTERFACE_PURE=1 for the plain-Python core).
Type-check it: mypy --strict examples/greeter.py, with the plugin
``trel.interface.mypy`` enabled (pyproject.toml does).
"""

from __future__ import annotations

import trel.interface
from trel.interface import Interface, InterfaceClass, adapter_hooks, classImplements, implementer


class IGreeter(Interface):
    """Greets people."""

    def greet(name: str) -> str:
        """A greeting for name."""


class ILoudGreeter(IGreeter):
    """Greets people loudly."""


def welcome(greeter: IGreeter, name: str) -> str:
    """Anything that provides IGreeter will do."""
    return greeter.greet(name)


@implementer(IGreeter)
class Greeter:
    def greet(self, name: str) -> str:
        return f"Hello, {name}."


class Shouter(Greeter):  # inherits what Greeter implements...
    pass


classImplements(Shouter, ILoudGreeter)  # ...and adds to it


class Parrot:
    """Not a greeter, but it knows how to become one."""

    def __conform__(self, interface: InterfaceClass) -> Greeter | None:
        if interface is IGreeter:
            return Greeter()
        return None


class Robot:
    pass


def robots_greet_too(interface: InterfaceClass, ob: object) -> Greeter | None:
    """An adapter hook: consulted when nothing else adapts."""
    if interface is IGreeter and isinstance(ob, Robot):
        return Greeter()
    return None


print(f"core: {trel.interface.CORE}")
print(f"IGreeter extends {[i.__name__ for i in IGreeter.__iro__[1:]]}, describes {IGreeter.names()}")
print("Shouter provides ILoudGreeter:", ILoudGreeter.providedBy(Shouter()))
greeter = Greeter()
print("a Greeter adapts to itself:", IGreeter(greeter) is greeter)
print("a Parrot conforms:", IGreeter(Parrot()).greet("Polly"))
print("a Shouter welcomes:", welcome(Shouter(), "Ann"))
print("a Robot without a hook:", IGreeter(Robot(), "no adapter"))
adapter_hooks.append(robots_greet_too)
print("a Robot through the hook:", IGreeter(Robot()).greet("R2"))
try:
    IGreeter(42)
except TypeError as error:
    print("42:", error.args[0])
