"""verifyObject and verifyClass, and the exceptions they raise, on each core."""

import pytest

pytestmark = pytest.mark.isolated

PRELUDE = """
import pickle
from trel.interface import *
from trel.interface import verify

class IBase(Interface):
    colour = Attribute("Its colour.")
    def paint(colour, coats=1): "Paint it."

class IShape(IBase):
    def area(): "Its area."
    def scale(factor, *args, **kw): "Scale it."
    def move(x, y, *, relative=False): "Move it."

class Good:
    colour = "red"
    def paint(self, colour, coats=2, extra=None): pass
    def area(self): pass
    def scale(self, *args, **kw): pass
    def move(self, x, y, relative=False, **options): pass

def shape(name, **changes):
    # A class like Good, with some methods replaced (None deletes one).
    namespace = {k: v for k, v in vars(Good).items() if not k.startswith("__")}
    namespace.update(changes)
    return type(name, (), {k: v for k, v in namespace.items() if v is not None})
"""


def test_verification(run):
    run(PRELUDE + '''
assert verify.verifyObject is verifyObject and verify.verifyClass is verifyClass
declared = implementer(IShape)(shape("Declared"))
assert verifyClass(IShape, declared) is True and verifyObject(IShape, declared()) is True
# Static methods, class methods and callables of every kind are read as the
# instance calls them; built-ins without a readable signature pass.
import inspect
def unreadable(builtin):
    try:
        inspect.signature(builtin)
    except ValueError:
        return True
    return False
opaque = next(b for b in (min, getattr, iter, next) if unreadable(b))
odd = implementer(IShape)(shape("Odd", area=staticmethod(lambda: 0), paint=classmethod(lambda cls, c, coats=1: 0),
                                scale=opaque, move=lambda self, *a, **k: 0))
assert verifyClass(IShape, odd) and verifyObject(IShape, odd())
assert verifyObject(IShape, shape("Undeclared")(), tentative=True)
# A keyword-only parameter described may be positional-or-keyword in the
# implementation: every call the description allows still works.
class IKeyword(Interface):
    def k(*, z): "By keyword."
class ByKeyword:
    def k(self, z): pass
assert verifyObject(IKeyword, ByKeyword(), tentative=True)

table = [
    # (what is wrong, the class, the exception, words its message must contain)
    ("undeclared", shape("Undeclared"), DoesNotImplement, ["Undeclared", "IShape"]),
    ("missing method", shape("NoArea", area=None), BrokenImplementation, ["'area'", "IShape"]),
    ("missing inherited method", shape("NoPaint", paint=None), BrokenImplementation, ["'paint'"]),
    ("fewer positional", shape("Few", paint=lambda self: 0), BrokenMethodImplementation,
        ["'paint'", "paint(colour, coats=1)", "fewer positional"]),
    ("more required", shape("More", area=lambda self, unit: 0), BrokenMethodImplementation,
        ["'area'", "requires more"]),
    ("no *args", shape("NoArgs", scale=lambda self, factor, **kw: 0), BrokenMethodImplementation,
        ["'scale'", "*args"]),
    ("no **kw", shape("NoKw", scale=lambda self, factor, *args: 0), BrokenMethodImplementation,
        ["'scale'", "**kw"]),
    ("missing keyword-only", shape("NoRelative", move=lambda self, x, y: 0), BrokenMethodImplementation,
        ["'move'", "'relative'"]),
    ("extra required keyword", shape("Strict", area=lambda self, *, unit: 0), BrokenMethodImplementation,
        ["'area'", "'unit'"]),
    ("not callable", shape("Flat", area=3), BrokenMethodImplementation, ["'area'", "not callable"]),
]
for label, cls, expected, words in table:
    if expected is not DoesNotImplement:
        implementer(IShape)(cls)
    for check, candidate in ((verifyClass, cls), (verifyObject, cls())):
        try:
            check(IShape, candidate)
        except Invalid as error:
            assert type(error) is expected, (label, check.__name__, repr(error))
            message = str(error)
            assert all(word in message for word in words), (label, message)
            copy = pickle.loads(pickle.dumps(error))
            assert type(copy) is expected and str(copy) == message, label
        else:
            raise AssertionError(f"{label}: {check.__name__} passed")

# Only objects are checked for attributes.
no_colour = implementer(IShape)(shape("NoColour", colour=None))
assert verifyClass(IShape, no_colour)
try:
    verifyObject(IShape, no_colour())
except BrokenImplementation as error:
    assert error.name == "colour" and "'colour'" in str(error)
else:
    raise AssertionError("a missing attribute passed")

# Several problems are reported together, each in its own right.
broken = shape("Broken", area=None, paint=lambda self: 0, colour=None)
try:
    verifyObject(IShape, broken())
except MultipleInvalid as error:
    kinds = sorted(type(e).__name__ for e in error.exceptions)
    assert kinds == ["BrokenImplementation", "BrokenImplementation", "BrokenMethodImplementation",
                     "DoesNotImplement"], kinds
    message = str(error)
    assert "in 4 ways" in message and "'area'" in message and "'colour'" in message and "'paint'" in message
    error.reported_by = "the checker"  # what code adds to an exception travels with it
    copy = pickle.loads(pickle.dumps(error))
    assert [type(e) for e in copy.exceptions] == [type(e) for e in error.exceptions]
    assert copy.reported_by == "the checker"
else:
    raise AssertionError("a broken object passed")

# What was read of a method is read again once the method changes.
changing = implementer(IShape)(shape("Changing", paint=lambda self, colour, coats=1: 0))
assert verifyObject(IShape, changing())
changing.paint.__defaults__ = None  # coats becomes required
try:
    verifyObject(IShape, changing())
except BrokenMethodImplementation as error:
    assert "requires more" in str(error)
else:
    raise AssertionError("a stale reading of paint passed")

try:
    verifyObject(Good, Good())
except TypeError as error:
    assert "iface" in str(error)
else:
    raise AssertionError("verified against a class")
''')
