"""The framework's hot paths in C++, beside the core."""

from collections.abc import Sequence
from typing import Any

from typing_extensions import disjoint_base

# RegistryBase has a C layout of its own, so no class can derive from it and
# from another such type (@disjoint_base).
@disjoint_base
class RegistryBase:
    """The adapter registry's queries over several objects."""

    _v_lookup: Any
    def queryMultiAdapter(
        self, objects: Sequence[object], provided: Any, name: str = ..., default: object = ...
    ) -> Any:
        """Adapt several objects at once with an adapter registered for what each of them provides."""
    def subscribers(self, objects: Sequence[object], provided: Any) -> Sequence[Any]:
        """Call every subscriber for what the objects provide; the results that are not None (none, for handlers)."""

def c3_merge(sequences: Sequence[Sequence[Any]], /) -> list[Any] | None:
    """The objects of the sequences in C3 order, as a list, or None when they admit no such order."""

def uncached_lookup(ro: Sequence[Any], required: Sequence[Any], provided: Any, name: Any, /) -> Any:
    """uncached_lookup(ro, required, provided, name): the most specific adapter registered in the
    registries of ro, or None."""
