"""An adapter registry with a base registry: adapters, multi-adapters, subscribers."""

from __future__ import annotations

import trel.interface
from trel.interface import AdapterRegistry, Interface, implementer


class IPerson(Interface):
    name: str


class IEmployee(IPerson):
    pass


class IGreeting(Interface):
    pass


class IIntroduction(Interface):
    pass


@implementer(IPerson)
class Person:
    def __init__(self, name: str) -> None:
        self.name = name


@implementer(IEmployee)
class Employee(Person):
    pass


def polite(person: Person) -> str:
    return f"Good day, {person.name}."


def casual(person: Person) -> str:
    return f"Hi {person.name}!"


def introduce(a: Person, b: Person) -> str:
    return f"{a.name}, meet {b.name}."


site = AdapterRegistry()  # shared by every application
app = AdapterRegistry([site])  # one application's own registrations come first
site.register([IPerson], IGreeting, "", polite)
site.register([IPerson, IPerson], IIntroduction, "", introduce)

ann, bob = Person("Ann"), Employee("Bob")
print(f"core: {trel.interface.CORE}")
print(app.queryAdapter(ann, IGreeting), "|", app.queryAdapter(bob, IGreeting))

app.register([IEmployee], IGreeting, "", casual)  # more specific, and in the derived registry
print(app.queryAdapter(ann, IGreeting), "|", app.queryAdapter(bob, IGreeting))

site.register([IPerson], IGreeting, "", lambda p: f"Welcome, {p.name}.")  # the base moves on
print(app.queryAdapter(ann, IGreeting), "(a new generation of the base registry:", site._generation, ")")

print(app.queryMultiAdapter((ann, bob), IIntroduction))

log: list[str] = []
app.subscribe([IPerson], None, lambda p: log.append(f"saw {p.name}"))
site.subscribe([IEmployee], None, lambda p: log.append(f"{p.name} is staff"))
app.subscribers((bob,), None)
print(log)
