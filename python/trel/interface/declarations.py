"""What classes and factories implement.

The C++ core reads four names from this module the first time it needs
them: ``BuiltinImplementationSpecifications``, ``_empty``,
``implementedByFallback`` and ``Implements``.
"""

from _trel_interface_coptimizations import SpecificationBase

__all__ = ["BuiltinImplementationSpecifications", "Implements", "implementedByFallback"]


class Implements(SpecificationBase):
    """The specification of what a class or factory implements.

    It implies itself and the specifications given to it.
    """

    def __init__(self, name, *implied):
        self.__name__ = name
        self._implied = dict.fromkeys((self, *implied), ())

    def __repr__(self):
        return f"<implementedBy {self.__name__}>"


# The specification of objects that declare nothing.
_empty = Implements("_empty")

# Specifications of classes that cannot carry "__implemented__" themselves
# (built-in types), keyed by the class.
BuiltinImplementationSpecifications = {}


def implementedByFallback(cls):
    """The specification of a class or factory without its own declaration.

    An inherited ``__implemented__`` serves (a super object finds the one
    after its class); with none, the factory implements nothing.
    """
    if not (isinstance(cls, super) or callable(cls)):
        raise TypeError("ImplementedBy called for non-factory", cls)
    spec = getattr(cls, "__implemented__", None)
    return spec if isinstance(spec, Implements) else _empty
