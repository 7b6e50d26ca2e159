"""A declaration the class does not live up to is reported where it is made, and nowhere else."""

from __future__ import annotations

from trel.interface import Interface, classImplements, implementer


class IStore(Interface):
    def get(key: str) -> bytes:
        """The value for key."""

    def put(key: str, value: bytes, *, replace: bool = True) -> None:
        """Store value under key."""


class ICountingStore(IStore):
    def count() -> int:
        """How many keys."""


@implementer(IStore)
class Missing:  # no put
    def get(self, key: str) -> bytes:
        return b""


@implementer(ICountingStore)
class WrongTypes:
    def get(self, key: bytes) -> bytes:
        return key

    def put(self, key: str, value: bytes, *, replace: bool = True) -> None:
        pass

    def count(self) -> str:
        return "many"


class Narrow:
    def get(self, key: str) -> bytes:
        return b""

    def put(self, key: str, value: bytes) -> None:
        pass


classImplements(Narrow, IStore)


def fill(store: IStore) -> None:
    store.put("a", store.get("b"))


fill(Missing())  # accepted: the declaration is where it is wrong
fill(WrongTypes())
fill(Narrow())


class Reader:
    def get(self, key: str) -> bytes:
        return b""


implementer(IStore)(Reader)  # as a statement, checked where it is made
fill(Reader())
