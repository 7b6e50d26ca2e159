"""What interfaces describe: signatures, the mapping of names, invariants,
tagged values and documentation, on each core in a fresh interpreter."""

import pytest

pytestmark = pytest.mark.isolated


def test_method_signatures(run):
    run('''
from trel.interface import Interface

class IShapes(Interface):
    def none(): pass
    def plain(a, b): pass
    def defaults(a, b=1, c=None): pass
    def star(a, *args): pass
    def kw(**kw): pass
    def everything(a, b=1, *args, **kw): pass
    def positional_only(a, b=2, /, c=3): pass
    def keyword_only(a, *, k, m=4): pass

N = None
table = {
    # name: (signature string, positional, required, optional, varargs, kwargs, positional-only,
    #        keyword-only, required keyword-only)
    "none": ("()", [], [], {}, N, N, [], [], []),
    "plain": ("(a, b)", ["a", "b"], ["a", "b"], {}, N, N, [], [], []),
    "defaults": ("(a, b=1, c=None)", ["a", "b", "c"], ["a"], {"b": 1, "c": None}, N, N, [], [], []),
    "star": ("(a, *args)", ["a"], ["a"], {}, "args", N, [], [], []),
    "kw": ("(**kw)", [], [], {}, N, "kw", [], [], []),
    "everything": ("(a, b=1, *args, **kw)", ["a", "b"], ["a"], {"b": 1}, "args", "kw", [], [], []),
    "positional_only": ("(a, b=2, /, c=3)", ["a", "b", "c"], ["a"], {"b": 2, "c": 3}, N, N, ["a", "b"], [], []),
    "keyword_only": ("(a, *, k, m=4)", ["a"], ["a"], {"m": 4}, N, N, [], ["k", "m"], ["k"]),
}
keys = ("positional", "required", "optional", "varargs", "kwargs", "positional_only", "keyword_only",
        "keyword_required")
for name, (text, *expected) in table.items():
    method = IShapes[name]
    assert method.getSignatureString() == text, (name, method.getSignatureString())
    info = method.getSignatureInfo()
    assert info == dict(zip(keys, expected)), (name, info)
    assert method.__name__ == name and method.interface is IShapes
assert repr(IShapes["plain"]) == "<Method __main__.IShapes.plain(a, b)>"
''')


def test_an_interface_is_a_mapping_of_what_it_describes(run):
    run('''
from trel.interface import Attribute, Interface, Method

class IBase(Interface):
    size = Attribute("How big.")
    def grow(by): "Grow."

class IDerived(IBase):
    def grow(by, limit=None): "Grow, up to a limit."
    def shrink(): "Shrink."

assert list(IDerived) == ["size", "grow", "shrink"] and list(IBase) == ["size", "grow"]
assert IDerived.names() == ["grow", "shrink"] and IDerived.names(all=True) == list(IDerived)
grow = IDerived["grow"]
assert isinstance(grow, Method) and grow.interface is IDerived and grow.getDoc() == "Grow, up to a limit."
assert IDerived["size"] is IBase["size"] and IDerived.getDescriptionFor("size") is IBase.direct("size")

class IAnnotated(Interface):
    weight: float
    label: str = Attribute("Its label.")

assert IAnnotated.names() == ["label", "weight"] and IAnnotated["label"].getDoc() == "Its label."
assert isinstance(IAnnotated["weight"], Attribute) and IAnnotated["weight"].interface is IAnnotated
assert IDerived.direct("size") is None and IDerived.direct("shrink") is IDerived["shrink"]
assert "size" in IDerived and "shrink" not in IBase and 3 not in IBase
assert IDerived.get("missing") is None and IDerived.get("missing", 0) == 0
assert IDerived.queryDescriptionFor("missing", "d") == "d"
assert dict(IDerived.namesAndDescriptions()) == {"grow": grow, "shrink": IDerived["shrink"]}
assert dict(IDerived.namesAndDescriptions(all=True)) == {"size": IBase["size"], "grow": grow,
                                                       "shrink": IDerived["shrink"]}
for lookup in (lambda: IDerived["missing"], lambda: IDerived.getDescriptionFor("missing")):
    try:
        lookup()
    except KeyError as error:
        assert error.args == ("missing",)
    else:
        raise AssertionError("found a name nothing describes")
# Empty interfaces are still true: no length makes them false.
assert bool(Interface) and list(Interface) == []
''')


def test_annotated_names_are_attributes(run):
    run('''
import pickle
from trel.interface import Attribute, Interface, InterfaceClass, Method, verifyObject

class IRecord(Interface):
    key: str
    size: int = Attribute("How big.")   # both: the Attribute describes it
    def read(): "Read it."
    tags: "list[Undefined]"             # only the name is read

assert sorted(IRecord) == ["key", "read", "size", "tags"], list(IRecord)
assert IRecord.__name__ == "IRecord" and pickle.loads(pickle.dumps(IRecord)) is IRecord
# Annotations made on demand (a class body's __annotate__ from 3.14): only the names are read.
made = InterfaceClass("IMade", attrs={"__annotate__": lambda format: {"size": int}, "__module__": "__main__"})
broken = InterfaceClass("IBroken", attrs={"__annotate__": lambda format: 1 / 0, "__module__": "__main__"})
assert list(made) == ["size"] and list(broken) == []
assert type(IRecord["key"]) is Attribute and IRecord["size"].getDoc() == "How big."
assert isinstance(IRecord["read"], Method) and IRecord["key"].interface is IRecord

class Record:
    key, size, tags = "k", 1, []
    def read(self): pass

assert verifyObject(IRecord, Record(), tentative=True)
del Record.tags
try:
    verifyObject(IRecord, Record(), tentative=True)
except Exception as error:
    assert "'tags'" in str(error), error
else:
    raise AssertionError("a missing annotated attribute passed")
''')

def test_invariants(run):
    run('''
from trel.interface import Interface, Invalid, invariant

def has_name(ob):
    if not ob.name:
        raise Invalid("no name")

class INamed(Interface):
    invariant(has_name)

class IRange(INamed):
    @invariant
    def ordered(ob):
        if ob.low > ob.high:
            raise Invalid("low above high")

class Thing:
    def __init__(self, name, low, high):
        self.name, self.low, self.high = name, low, high

assert IRange.names() == []  # the decorated check is not a described method
assert IRange.validateInvariants(Thing("ok", 1, 2)) is None

# Without a list, the first failure (the interface's own checks before its
# bases') is raised as it was.
try:
    IRange.validateInvariants(Thing("", 3, 2))
except Invalid as error:
    assert error.args == ("low above high",)
else:
    raise AssertionError("broken invariants passed")

# With a list, every failure is collected and one Invalid carries the list.
errors = []
try:
    IRange.validateInvariants(Thing("", 3, 2), errors)
except Invalid as error:
    assert error.args == (errors,) and [e.args[0] for e in errors] == ["low above high", "no name"]
else:
    raise AssertionError("broken invariants passed")
errors = []
IRange.validateInvariants(Thing("ok", 1, 2), errors)
assert errors == []

# Anything else an invariant raises is not a verdict: it propagates.
try:
    INamed.validateInvariants(object())
except AttributeError:
    pass
else:
    raise AssertionError("an invariant's own error was swallowed")

try:
    invariant(has_name)
except TypeError as error:
    assert "class statement" in str(error)
else:
    raise AssertionError("invariant() outside an interface body")
''')


def test_tagged_values_follow_the_resolution_order(run):
    run('''
from trel.interface import Interface, taggedValue

class IA(Interface):
    taggedValue("colour", "red")
    taggedValue("size", 1)

class IB(Interface):
    taggedValue("colour", "blue")
    taggedValue("shape", "round")

class IC(IA, IB):
    taggedValue("size", 3)

assert IC.getTaggedValue("size") == 3 and IC.getTaggedValue("colour") == "red"  # IA before IB
assert IC.getTaggedValue("shape") == "round"
assert IC.getTaggedValueTags() == ["size", "colour", "shape"]
assert IC.getDirectTaggedValueTags() == ["size"] and IC.queryDirectTaggedValue("colour") is None
assert IC.queryTaggedValue("missing") is None and IC.queryTaggedValue("missing", 0) == 0
IB.setTaggedValue("weight", 5)  # later tags on a base are seen through the derived interface
assert IC.queryTaggedValue("weight") == 5 and IB.getDirectTaggedValue("weight") == 5
for missing in (lambda: IC.getTaggedValue("missing"), lambda: IC.getDirectTaggedValue("colour")):
    try:
        missing()
    except KeyError:
        pass
    else:
        raise AssertionError("a missing tag was found")
for bad in (lambda: IC.setTaggedValue(1, "x"), lambda: taggedValue("k", "v")):
    try:
        bad()
    except TypeError:
        pass
    else:
        raise AssertionError("accepted a bad tag")
''')


def test_documentation_and_identity(run):
    run('''
import pydoc, sys, types
import trel.interface
from trel.interface import Attribute, Interface, InterfaceClass

class IGreeter(Interface):
    """Greets people."""
    volume = Attribute("How loud.")
    def greet(name, polite=True):
        """A greeting for name.

        More detail that the summary leaves out."""

assert IGreeter.getDoc() == "Greets people."
assert IGreeter.__doc__ == """Greets people.

Attributes:
  volume -- How loud.

Methods:
  greet(name, polite=True) -- A greeting for name."""
page = pydoc.render_doc(IGreeter, renderer=pydoc.plaintext)
assert "greet(name, polite=True)" in page and "How loud." in page, page
# The package and the framework's classes document on either core.
for thing in (trel.interface, InterfaceClass, sys.modules[type(IGreeter).__mro__[1].__module__]):
    assert pydoc.render_doc(thing, renderer=pydoc.plaintext)

assert InterfaceClass.__module__ == "trel.interface.interface" and IGreeter.__module__ == "__main__"
assert isinstance(type(IGreeter).__mro__[1].__module__, str)  # the core's base type
assert repr(IGreeter) == "<InterfaceClass __main__.IGreeter>"

# A subclass of InterfaceClass: its interfaces still answer their own module and docstring.
class TaggedInterfaceClass(InterfaceClass):
    """Interfaces with something extra."""

ISpecial = TaggedInterfaceClass("ISpecial", __doc__="Special.", __module__="elsewhere")
assert ISpecial.__module__ == "elsewhere" and ISpecial.__doc__ == "Special."
assert TaggedInterfaceClass.__module__ == "__main__"
assert TaggedInterfaceClass.__doc__ == "Interfaces with something extra."

for bad, words in [
    (lambda: InterfaceClass(42), "name must be a str"),
    (lambda: InterfaceClass("I", IGreeter), "bases must be a sequence"),
    (lambda: InterfaceClass("I", [IGreeter, object]), "bases[1]"),
    (lambda: InterfaceClass("I", attrs={"x": 3}), "x = 3"),
    (lambda: InterfaceClass("I", __module__=3), "__module__ must be a str"),
    (lambda: InterfaceClass("I", attrs=[("x", 3)]), "attrs must be a mapping"),
    (lambda: InterfaceClass("I", __doc__=b"doc"), "__doc__ must be a str"),
]:
    try:
        bad()
    except TypeError as error:
        assert words in str(error), (words, str(error))
    else:
        raise AssertionError(words)
''')
