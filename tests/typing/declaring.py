"""Declared implementations are accepted where the interface is expected; undeclared ones are not."""

from __future__ import annotations

from typing import Generic, TypeVar

from trel.interface import Interface, InterfaceClass, classImplements, implementer, implementer_only, verifyClass


class IGreeter(Interface):
    def greet(name: str) -> str:
        """A greeting."""


class ILoudGreeter(IGreeter):
    def shout(name: str) -> str:
        """A louder one."""


def welcome(greeter: IGreeter) -> str:
    return greeter.greet("Ann")


@implementer(IGreeter)
class Greeter:
    def greet(self, name: str) -> str:
        return f"Hello, {name}."


class Shouter(Greeter):
    def shout(self, name: str) -> str:
        return self.greet(name).upper()


classImplements(Shouter, ILoudGreeter)


@implementer_only(ILoudGreeter)
class Town(Shouter):
    pass


class Stranger:
    def greet(self, name: str) -> str:
        return "..."


def loudly(greeter: ILoudGreeter) -> str:
    return greeter.shout("Bob")


welcome(Greeter())
welcome(Shouter())  # a subclass implements what its base does
loudly(Shouter())
loudly(Town())
welcome(Stranger())  # compatible, but it does not declare it
loudly(Greeter())
greeters: list[IGreeter] = [Greeter(), Shouter()]
by_name: dict[str, IGreeter] = {"loud": Town()}
verifyClass(IGreeter, Greeter)
verifyClass(Greeter, Greeter)

# An interface made by a call, with its bases written out, is an interface too.
IWaver = InterfaceClass("IWaver", (IGreeter,))


@implementer(IWaver)
class Waver(Greeter):
    pass


welcome(Waver())
waver: IWaver = Greeter()

Value = TypeVar("Value")


@implementer(IGreeter)
class Labelled(Generic[Value]):  # any parametrisation provides it
    def __init__(self, value: Value) -> None:
        self.value = value

    def greet(self, name: str) -> str:
        return f"{self.value}: {name}"


welcome(Labelled(3))
labelled: list[IGreeter] = [Labelled("x"), Labelled(2.5)]


class Polite(Greeter):
    def shout(self, name: str) -> str:
        return f"Excuse me, {name}!"


implementer(ILoudGreeter)(Polite)
loudly(Polite())
