"""Adaptation and registry queries are typed by the interface asked for."""

from __future__ import annotations

from typing import TYPE_CHECKING

from trel.interface import AdapterRegistry, Interface, implementer


class IPerson(Interface):
    name: str


class IGreeting(Interface):
    def text() -> str:
        """What to say."""


@implementer(IPerson)
class Person:
    def __init__(self, name: str) -> None:
        self.name = name


@implementer(IGreeting)
class Greeting:
    def __init__(self, person: IPerson) -> None:
        self.person = person

    def text(self) -> str:
        return f"Hello, {self.person.name}."


registry = AdapterRegistry()
registry.register([IPerson], IGreeting, "", Greeting)
ann = Person("Ann")

if TYPE_CHECKING:
    reveal_type(IGreeting(ann))
    reveal_type(IGreeting(ann, None))
    reveal_type(IGreeting(ann, alternate="no greeting"))
    reveal_type(registry.queryAdapter(ann, IGreeting))
    reveal_type(registry.queryAdapter(ann, IGreeting, default=0))
    reveal_type(registry.queryMultiAdapter([ann, ann], IGreeting))
    reveal_type(registry.adapter_hook(IGreeting, ann))
    reveal_type(registry.lookup([IPerson], IGreeting))
    IGreeting(ann).text().upper()
    registry.queryAdapter(ann, IGreeting).text()


class SiteRegistry(AdapterRegistry):
    """A registry of one's own answers as the registry does."""


if TYPE_CHECKING:
    reveal_type(SiteRegistry().queryAdapter(ann, IGreeting))
