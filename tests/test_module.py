"""The module frame: its namespace, names, and the declarations bridge."""

import pytest

import _trel_interface_coptimizations as ext
from conftest import run_isolated


def test_namespace_order_and_docstrings():
    public = [name for name in vars(ext) if not name.startswith("__")]
    assert public == [
        "implementedBy",
        "getObjectSpecification",
        "providedBy",
        "SpecificationBase",
        "ObjectSpecificationDescriptor",
        "ClassProvidesBase",
        "InterfaceBase",
        "LookupBase",
        "VerifyingBase",
        "adapter_hooks",
    ]
    assert ext.__doc__ == "C optimizations for trel.interface\n\n"
    assert ext.implementedBy.__doc__ == (
        "Interfaces implemented by a class or factory.\nRaises TypeError if argument is neither a class nor a callable."
    )
    assert ext.getObjectSpecification.__doc__ == "Get an object's interfaces (internal api)"
    assert ext.providedBy.__doc__ == "Get an object's interfaces"
    assert ext.adapter_hooks == []


TYPE_NAMES = [
    pytest.param(ext.SpecificationBase, "_interface_coptimizations", id="SpecificationBase"),
    pytest.param(ext.ObjectSpecificationDescriptor, "_interface_coptimizations", id="ObjectSpecificationDescriptor"),
    pytest.param(ext.ClassProvidesBase, "_interface_coptimizations", id="ClassProvidesBase"),
    pytest.param(ext.InterfaceBase, "_trel_interface_coptimizations", id="InterfaceBase"),
    pytest.param(ext.LookupBase, "_trel_interface_coptimizations", id="LookupBase"),
    pytest.param(ext.VerifyingBase, "_trel_interface_coptimizations", id="VerifyingBase"),
]


@pytest.mark.parametrize("cls, module", TYPE_NAMES)
def test_type_names(cls, module):
    assert cls.__module__ == module
    assert repr(cls) == f"<class '{module}.{cls.__name__}'>"


@pytest.mark.parametrize("function", [ext.implementedBy, ext.getObjectSpecification, ext.providedBy])
def test_functions_take_exactly_one_argument(function):
    with pytest.raises(TypeError):
        function()
    with pytest.raises(TypeError):
        function(1, 2)
    with pytest.raises(TypeError):
        function(ob=1)


def test_builtin_table_is_kept_not_rebound(declarations):
    class Listed:
        pass

    # Listed inherits nothing and declares nothing, so only the table or the
    # fallback can answer.
    marker = object()
    table = declarations.BuiltinImplementationSpecifications
    table[Listed] = marker
    assert ext.implementedBy(Listed) is marker
    declarations.BuiltinImplementationSpecifications = {}
    try:
        assert ext.implementedBy(Listed) is marker  # the old dict is still the one consulted
    finally:
        declarations.BuiltinImplementationSpecifications = table
        table.clear()


FRESH_PRELUDE = """
import sys, types
import _trel_interface_coptimizations as ext

NAME = "trel.interface.declarations"

def install(**attrs):
    fake = types.ModuleType(NAME)
    fake.__dict__.update(attrs)
    sys.modules[NAME] = fake
    return fake

def good_attrs(implements):
    empty = ext.SpecificationBase()
    empty._implied = {}
    return dict(BuiltinImplementationSpecifications={}, _empty=empty,
                implementedByFallback=lambda cls: ("fallback", cls), Implements=implements)

def outcome(call):
    try:
        return ("ok", call())
    except Exception as exc:
        return (type(exc).__name__, str(exc))
"""


@pytest.mark.isolated
def test_import_leaves_declarations_alone():
    out = run_isolated(
        FRESH_PRELUDE
        + """
print(NAME in sys.modules)
"""
    )
    assert out.split() == ["False"]


@pytest.mark.isolated
def test_failed_loads_are_retried_until_the_cause_is_removed():
    out = run_isolated(
        FRESH_PRELUDE
        + """
class C:
    pass

sys.modules[NAME] = None  # the import itself fails
print(outcome(lambda: ext.implementedBy(C))[0])
print(outcome(lambda: ext.providedBy(C()))[0])

attrs = good_attrs(ext.SpecificationBase)
del attrs["implementedByFallback"]
install(**attrs)
print(outcome(lambda: ext.implementedBy(C))[0])

install(**good_attrs(implements="not a class"))
print(outcome(lambda: ext.implementedBy(C)))
print(outcome(lambda: ext.implementedBy(C)))

class Meta(type):
    pass

class MetaImplements(ext.SpecificationBase, metaclass=Meta):
    pass

fake = install(**good_attrs(MetaImplements))
print(outcome(lambda: ext.implementedBy(C)) == ("ok", ("fallback", C)))
declared = MetaImplements()
C.__implemented__ = declared
print(ext.implementedBy(C) is declared)
"""
    )
    assert out.splitlines() == [
        "ModuleNotFoundError",
        "ModuleNotFoundError",
        "AttributeError",
        "('TypeError', 'trel.interface.declarations.Implements is not a type')",
        "('TypeError', 'trel.interface.declarations.Implements is not a type')",
        "True",
        "True",
    ]


@pytest.mark.isolated
def test_declarations_module_that_resolves_while_it_is_imported():
    # The module's own import code needs the bridge: the nested load sees the
    # module as far as it has run, fails, and the outer load then completes.
    out = run_isolated(
        FRESH_PRELUDE
        + """
import importlib.abc, importlib.util

SOURCE = '''
import _trel_interface_coptimizations as ext
class Implements(ext.SpecificationBase):
    pass
try:
    ext.implementedBy(int)
except AttributeError as exc:
    nested = str(exc)
BuiltinImplementationSpecifications = {}
_empty = Implements()
implementedByFallback = lambda cls: ("fallback", cls)
early = ext.implementedBy(Implements)  # complete by now: this nested load succeeds
'''

class Finder(importlib.abc.MetaPathFinder, importlib.abc.Loader):
    def find_spec(self, name, path, target=None):
        if name == NAME:
            return importlib.util.spec_from_loader(name, self)
    def create_module(self, spec):
        return None
    def exec_module(self, module):
        exec(SOURCE, module.__dict__)

for parent in ("trel", "trel.interface"):
    sys.modules[parent] = types.ModuleType(parent)
    sys.modules[parent].__path__ = []
sys.meta_path.insert(0, Finder())
class C:
    pass
print(ext.implementedBy(C)[0])
module = sys.modules[NAME]
print(module.early == ("fallback", module.Implements))
print("BuiltinImplementationSpecifications" in module.nested)
"""
    )
    assert out.split() == ["fallback", "True", "True"]


@pytest.mark.isolated
def test_shipped_declarations_module_meets_the_contract():
    out = run_isolated(
        """
import _trel_interface_coptimizations as ext
from trel.interface import declarations as d
from trel.interface.interface import InterfaceClass

assert isinstance(d.BuiltinImplementationSpecifications, dict)
assert isinstance(d._empty, ext.SpecificationBase) and isinstance(d.Implements, type)

I = InterfaceClass("I")

@d.implementer(I)
class Base:
    pass

class Derived(Base):
    pass

assert ext.implementedBy(Base) is Base.__dict__["__implemented__"]
# The fallback computes what Derived inherits and stores it on Derived, so
# the next resolution reads it from Derived's own namespace.
derived = ext.implementedBy(Derived)
assert derived is Derived.__dict__["__implemented__"] and derived is not Base.__implemented__
assert ext.implementedBy(Derived) is derived
assert I.providedBy(Derived()) and not I.providedBy(object())
assert I in ext.implementedBy(super(Derived, Derived()))._implied
# Built-in types cannot carry the declaration: the table keeps it.
assert ext.implementedBy(int) is d.BuiltinImplementationSpecifications[int]
assert ext.implementedBy(len) is d._empty
try:
    ext.implementedBy(42)
except TypeError:
    print("ok")
"""
    )
    assert out.split() == ["ok"]
