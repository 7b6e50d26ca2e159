"""Probes that count a failed lookup as absence: only ordinary failures do.

A key whose comparison raises, or a property that raises while a probe reads
it, makes the probe answer "not there" when the failure is an ordinary
exception. An interrupt, an exit request or a memory error is no answer
about the object: it reaches the caller unchanged.
"""

import warnings

import pytest

from conftest import ext

ORDINARY = [ValueError, RuntimeError, AttributeError, KeyError]
PROPAGATING = [KeyboardInterrupt, SystemExit, GeneratorExit, MemoryError]


def raiser(exc):
    def fail(*args):
        raise exc("probe")

    return fail


def colliding(exc, name):
    """A key that hashes like ``name`` and raises ``exc`` the first time it
    is compared (later comparisons find it unequal)."""

    class Colliding:
        raised = False

        def __hash__(self):
            return hash(name)

        def __eq__(self, other):
            if not self.raised:
                self.raised = True
                raise exc("probe")
            return False

    return Colliding()


class Spec(ext.SpecificationBase):
    pass


def implied_probe(exc, query):
    spec = Spec()
    spec._implied = {colliding(exc, "key"): ()}
    return lambda: query(spec, "key"), False


def descriptor_probe(exc):
    class Provider:
        __providedBy__ = ext.ObjectSpecificationDescriptor()
        __provides__ = property(raiser(exc))

    return lambda: Provider().__providedBy__, ("fallback", Provider)


def extends_probe(exc):
    class Declared:
        extends = property(raiser(exc))

    class Provider:
        __providedBy__ = Declared()

    return lambda: ext.providedBy(Provider()), ("fallback", Provider)


def own_provides_probe(exc):
    class Provider:
        __providedBy__ = None
        __provides__ = property(raiser(exc))

    return lambda: ext.providedBy(Provider()), ("fallback", Provider)


def namespace_probe(exc):
    class Factory:
        __dict__ = property(raiser(exc))

        def __call__(self):
            pass

    factory = Factory()
    return lambda: ext.implementedBy(factory), ("fallback", factory)


def namespace_item_probe(exc):
    class Namespace(dict):
        __getitem__ = raiser(exc)

    class Factory:
        def __call__(self):
            pass

    factory = Factory()
    object.__setattr__(factory, "__dict__", Namespace())
    return lambda: ext.implementedBy(factory), ("fallback", factory)


def builtin_table_probe(exc, declarations):
    class Factory:
        __hash__ = lambda self: hash("factory")  # noqa: E731
        __eq__ = raiser(exc)

        def __call__(self):
            pass

    table = declarations.BuiltinImplementationSpecifications
    table.clear()  # one entry, whichever round of a repeated test this is
    table[colliding(exc, "factory")] = "listed"
    factory = Factory()
    return lambda: ext.implementedBy(factory), ("fallback", factory)


def lookup_cache_probe(exc):
    class Lookup(ext.LookupBase):
        def _uncached_lookup(self, required, provided, name=""):
            return "computed"

    lookup = Lookup()
    lookup.lookup1(colliding(exc, "required"), "provided")
    return lambda: lookup.lookup1("required", "provided"), "computed"


def custom_adapt_probe(exc):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # newer interpreters warn of the non-string key
        Custom = type("Custom", (ext.InterfaceBase,), {colliding(exc, "_CALL_CUSTOM_ADAPT"): 1})
    iface = Custom("ICustom", "probes")
    spec = Spec()
    spec._implied = {iface: ()}

    class Provider:
        __providedBy__ = spec

    provider = Provider()
    return lambda: iface(provider), provider


SITES = {
    "spec(other)": lambda exc: implied_probe(exc, lambda spec, key: spec(key)),
    "isOrExtends": lambda exc: implied_probe(exc, lambda spec, key: spec.isOrExtends(key)),
    "descriptor __provides__": descriptor_probe,
    "providedBy extends": extends_probe,
    "providedBy own __provides__": own_provides_probe,
    "implementedBy __dict__": namespace_probe,
    "implementedBy namespace item": namespace_item_probe,
    "implementedBy built-in table": None,
    "lookup cache": lookup_cache_probe,
    "_CALL_CUSTOM_ADAPT": custom_adapt_probe,
}


def make_site(name, exc, declarations):
    if name == "implementedBy built-in table":
        return builtin_table_probe(exc, declarations)
    return SITES[name](exc)


@pytest.mark.parametrize("name", SITES)
@pytest.mark.parametrize("exc", ORDINARY, ids=lambda exc: exc.__name__)
def test_ordinary_failure_reads_as_absence(name, exc, declarations):
    operation, absent = make_site(name, exc, declarations)
    assert operation() == absent


@pytest.mark.parametrize("name", SITES)
@pytest.mark.parametrize("exc", PROPAGATING, ids=lambda exc: exc.__name__)
def test_interrupts_and_memory_errors_propagate(name, exc, declarations):
    operation, _ = make_site(name, exc, declarations)
    with pytest.raises(exc, match="probe"):
        operation()
