"""The component layer's lookups are typed by the interface asked for (needs trel.component)."""

from __future__ import annotations

from typing import TYPE_CHECKING

from trel.component import Components, getAdapter, getUtility, queryAdapter, queryMultiAdapter, queryUtility
from trel.interface import Interface, implementer


class IStorage(Interface):
    def read(key: str) -> bytes:
        """The bytes stored under key."""


@implementer(IStorage)
class MemoryStorage:
    def read(self, key: str) -> bytes:
        return b""


site = Components("site")
site.registerUtility(MemoryStorage())
ob = object()

if TYPE_CHECKING:
    reveal_type(site.getUtility(IStorage))
    reveal_type(site.queryUtility(IStorage))
    reveal_type(site.queryUtility(IStorage, default=b""))
    reveal_type(site.getAdapter(ob, IStorage))
    reveal_type(site.queryAdapter(ob, IStorage))
    reveal_type(site.getMultiAdapter([ob, ob], IStorage))
    reveal_type(site.queryMultiAdapter([ob, ob], IStorage))
    reveal_type(getUtility(IStorage))
    reveal_type(queryUtility(IStorage, "named"))
    reveal_type(getAdapter(ob, IStorage))
    reveal_type(queryAdapter(ob, IStorage))
    reveal_type(queryMultiAdapter([ob], IStorage, default=0))
    getUtility(IStorage).read("k").decode()
    queryUtility(IStorage).read("k")
