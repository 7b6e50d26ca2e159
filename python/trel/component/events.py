"""The events a registry hands to its handlers when its registrations change.

Registering or unregistering anything calls ``registry.handle(event)`` with
a ``Registered`` or ``Unregistered`` event whose ``object`` is the
registration record, so a handler registered for ``IRegistered`` (or
``IUnregistered``, or ``IRegistrationEvent`` for both) sees every change.
"""

from __future__ import annotations

from trel.interface import Attribute, InterfaceClass, implementer

__all__ = ["IRegistered", "IRegistrationEvent", "IUnregistered", "Registered", "RegistrationEvent", "Unregistered"]

IRegistrationEvent = InterfaceClass(
    "IRegistrationEvent",
    attrs={"object": Attribute("The registration record that was added or removed.")},
    __doc__="A registration was added to a registry or removed from it.",
    __module__=__name__,
)
IRegistered = InterfaceClass(
    "IRegistered", (IRegistrationEvent,), __doc__="A registration was added.", __module__=__name__
)
IUnregistered = InterfaceClass(
    "IUnregistered", (IRegistrationEvent,), __doc__="A registration was removed.", __module__=__name__
)


@implementer(IRegistrationEvent)
class RegistrationEvent:
    """A change to a registry; ``object`` is the registration record."""

    def __init__(self, object: object) -> None:
        self.object = object

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        assert isinstance(other, RegistrationEvent)
        return bool(self.object == other.object)

    def __hash__(self) -> int:
        return hash((type(self).__name__, self.object))

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.object!r})"


@implementer(IRegistered)
class Registered(RegistrationEvent):
    """A registration was added."""


@implementer(IUnregistered)
class Unregistered(RegistrationEvent):
    """A registration was removed."""
