"""What invariants and verification raise.

``Invalid`` is the base: an invariant raises it for an object that breaks
it, and every verification failure is one. Each exception keeps what it
was made with in ``args`` and says in ``str()`` which interface, which
object and which name are concerned. They pickle by reconstruction from
``args``; an object among them that cannot be pickled travels as its repr.
"""

from __future__ import annotations

import pickle
from collections.abc import Sequence

__all__ = [
    "BrokenImplementation",
    "BrokenMethodImplementation",
    "DoesNotImplement",
    "Invalid",
    "MultipleInvalid",
]


def _name(ob: object) -> str:
    """A short, readable name for an interface, class or object."""
    module, name = getattr(ob, "__module__", None), getattr(ob, "__qualname__", None) or getattr(ob, "__name__", None)
    if isinstance(module, str) and isinstance(name, str):
        return f"{module}.{name}"
    return repr(ob)


def _subject(candidate: object) -> str:
    return "An object" if candidate is None else f"The object {candidate!r}"


class _Described:
    """What an exception pickles instead of an object that cannot be
    pickled: the object's repr, which is all its message uses."""

    def __init__(self, text: str) -> None:
        self.text = text

    def __repr__(self) -> str:
        return self.text


def _picklable(value: object) -> object:
    try:
        pickle.dumps(value)
    except Exception:
        return _Described(repr(value))
    return value


class Invalid(Exception):
    """An object breaks an interface's contract: an invariant, or what
    verification checks."""

    def __reduce__(self) -> tuple[type[Invalid], tuple[object, ...], dict[str, object]]:
        # The object checked may not pickle; the exception still does. Notes
        # and attributes set on it travel as its state.
        state = {name: _picklable(value) for name, value in vars(self).items()}
        return type(self), tuple(_picklable(arg) for arg in self.args), state


class DoesNotImplement(Invalid):
    """The object does not declare that it provides the interface (or the
    class that it implements it)."""

    def __init__(self, interface: object, candidate: object = None) -> None:
        super().__init__(interface, candidate)
        self.interface = interface
        self.candidate = candidate

    def __str__(self) -> str:
        return f"{_subject(self.candidate)} does not declare that it implements {_name(self.interface)}."


class BrokenImplementation(Invalid):
    """A name the interface describes is missing."""

    def __init__(self, interface: object, name: str, candidate: object = None) -> None:
        super().__init__(interface, name, candidate)
        self.interface = interface
        self.name = name
        self.candidate = candidate

    def __str__(self) -> str:
        return (
            f"{_subject(self.candidate)} has failed to implement {_name(self.interface)}:"
            f" the attribute {self.name!r} is missing."
        )


class BrokenMethodImplementation(Invalid):
    """A method exists but does not accept every call its description allows."""

    def __init__(
        self,
        method: object,
        message: str,
        implementation: object = None,
        interface: object = None,
        candidate: object = None,
    ) -> None:
        super().__init__(method, message, implementation, interface, candidate)
        self.method = method
        self.message = message
        self.implementation = implementation
        self.interface = interface
        self.candidate = candidate

    def __str__(self) -> str:
        name = getattr(self.method, "__name__", self.method)
        signature = getattr(self.method, "getSignatureString", None)
        described = f"{name}{signature()}" if callable(signature) else str(name)
        where = f" {_name(self.interface)}" if self.interface is not None else " its interface"
        return (
            f"{_subject(self.candidate)} has failed to implement{where}:"
            f" the method {name!r} violates the contract {described}: {self.message}."
        )


class MultipleInvalid(Invalid):
    """Several problems with one object, each an ``Invalid`` of its own."""

    def __init__(self, interface: object, candidate: object, exceptions: Sequence[Invalid]) -> None:
        super().__init__(interface, candidate, tuple(exceptions))
        self.interface = interface
        self.candidate = candidate
        self.exceptions: tuple[Invalid, ...] = tuple(exceptions)

    def __str__(self) -> str:
        problems = "\n".join(f"    {error}" for error in self.exceptions)
        return (
            f"{_subject(self.candidate)} has failed to implement {_name(self.interface)}"
            f" in {len(self.exceptions)} ways:\n{problems}"
        )
