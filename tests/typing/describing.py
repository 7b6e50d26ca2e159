"""Interface statements: methods without self, attributes, invariants, tagged values, inheritance."""

from __future__ import annotations

from typing import TYPE_CHECKING

from trel.interface import Attribute, Interface, Invalid, invariant, taggedValue


class IShape(Interface):
    """A shape."""

    colour = Attribute("Its colour, of any type.")
    name: str
    taggedValue("since", "1.0")

    def area() -> float:
        """Its area."""

    def scale(factor: float, *, around: tuple[float, float] = (0.0, 0.0)) -> IShape:
        """A scaled copy."""

    @invariant
    def named(shape: IShape) -> None:
        if not shape.name:
            raise Invalid("a shape has a name")


class IPolygon(IShape):
    sides: int

    def corners() -> list[tuple[float, float]]:
        """Where the corners are."""


def describe(polygon: IPolygon) -> str:
    scaled = polygon.scale(2.0, around=(1.0, 1.0))
    return f"{polygon.name}: {polygon.sides} sides, {polygon.area()} ({scaled.area()}) {polygon.corners()}"


IShape.validateInvariants(object())
print(IPolygon.names(all=True), IPolygon.getTaggedValue("since"), IPolygon.__iro__, list(IPolygon))

if TYPE_CHECKING:
    polygon: IPolygon
    reveal_type(polygon.colour)
    reveal_type(polygon.name)
    reveal_type(polygon.area)
    reveal_type(polygon.scale(1.5))
    reveal_type(IPolygon.extends(IShape))
    polygon.area(1)
    polygon.scale("twice")
    polygon.perimeter()
    IPolygon.nonsense()


class IMistaken(Interface):
    __doc__ = "Still a docstring."
    limit = 10
    default: str = "none"
    label = Attribute("Fine.")

    def reset(self: object) -> None:
        """Written as a method of an implementation."""

    @invariant
    def checked(self: object) -> None:
        """An invariant takes the object, under any name."""
