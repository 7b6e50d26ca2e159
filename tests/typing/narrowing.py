"""providedBy narrows what an object is known to be."""

from __future__ import annotations

from typing import TYPE_CHECKING

from trel.interface import Interface


class IClosable(Interface):
    def close() -> None:
        """Release what it holds."""


def release(resource: object) -> None:
    if IClosable.providedBy(resource):
        if TYPE_CHECKING:
            reveal_type(resource)
        resource.close()
    else:
        resource.close()


def release_all(resources: list[object]) -> list[IClosable]:
    return [resource for resource in resources if IClosable.providedBy(resource)]


def misused(resource: object) -> bool:
    if isinstance(resource, (int, IClosable)):
        return True
    return issubclass(type(resource), IClosable)
