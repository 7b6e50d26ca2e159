"""The error a failed component lookup raises."""

from __future__ import annotations

from collections.abc import Sequence

__all__ = ["ComponentLookupError"]


class ComponentLookupError(LookupError):
    """Nothing is registered for what was asked.

    ``provided`` is the interface asked for, ``name`` the name asked under,
    and ``objects`` the objects to adapt (empty for utilities).
    """

    def __init__(self, provided: object, name: str = "", objects: Sequence[object] = ()) -> None:
        objects = tuple(objects)
        super().__init__(provided, name, objects)
        self.provided = provided
        self.name = name
        self.objects = objects

    def __str__(self) -> str:
        what = getattr(self.provided, "__name__", repr(self.provided))
        if not self.objects:
            return f"no utility provides {what} under the name {self.name!r}"
        adapted = ", ".join(repr(ob) for ob in self.objects)
        return f"no adapter to {what} under the name {self.name!r} for ({adapted})"
