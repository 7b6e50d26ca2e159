"""Calling an interface adapts an object: conformance, __adapt__, hooks."""

import pytest

from conftest import Implements, ext, run_isolated


class Interface(ext.InterfaceBase):
    """The framework's interface class: conformance calls the object's hook."""

    def _call_conform(self, conform):
        return conform(self)


IFoo = Interface("IFoo", "tests")
IBar = Interface("IBar", "tests")


@pytest.fixture(autouse=True)
def undeclared_provide_nothing(declarations):
    declarations.fallback = lambda cls: declarations._empty


@pytest.fixture
def hooks():
    """The module's hook list, emptied again after the test."""
    hooks = ext.adapter_hooks
    assert hooks == []
    yield hooks
    hooks.clear()


class Provider:
    __implemented__ = Implements(IFoo)


class Plain:
    pass


def recording_hook(calls, answer=None):
    def hook(iface, ob):
        calls.append((iface, ob))
        return answer

    return hook


def test_provider_is_returned_without_consulting_hooks(hooks):
    calls = []
    hooks[:] = [recording_hook(calls, "adapter")]
    ob = Provider()
    assert IFoo(ob) is ob
    assert IFoo.__adapt__(ob) is ob
    assert ext.InterfaceBase("IFoo", "tests")(ob) is ob  # equal interfaces are the same key
    assert calls == []


def test_nothing_found(hooks):
    ob, alternate = Plain(), object()
    with pytest.raises(TypeError) as caught:
        IFoo(ob)
    assert caught.value.args == ("Could not adapt", ob, IFoo)
    assert IFoo(ob, None) is None
    assert IFoo(ob, alternate=alternate) is alternate
    assert IFoo(obj=ob, alternate=alternate) is alternate
    assert IFoo.__adapt__(ob) is None


@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), ((1, 2, 3), {}), ((1,), {"other": 2}), ((1,), {"obj": 1})],
    ids=["none", "three", "unknown-keyword", "given-twice"],
)
def test_call_argument_errors(args, kwargs):
    with pytest.raises(TypeError):
        IFoo(*args, **kwargs)
    with pytest.raises(TypeError):
        IFoo.__adapt__()


class ConformsWith:
    def __init__(self, conform):
        self.__conform__ = conform


class ConformRaises:
    def __init__(self, kind):
        self.kind = kind

    @property
    def __conform__(self):
        raise self.kind("conform")


CONFORMANCE = [
    pytest.param(ConformsWith(lambda iface: ("adapted", iface)), ("adapted", IFoo), id="adapter"),
    pytest.param(ConformsWith(lambda iface: 0), 0, id="falsy-adapter-is-returned"),
    pytest.param(ConformsWith(lambda iface: None), "alternate", id="none-goes-on"),
    pytest.param(ConformsWith(None), "alternate", id="conform-is-none"),
    pytest.param(ConformRaises(AttributeError), "alternate", id="attribute-error-means-none"),
    pytest.param(ConformRaises(ValueError), ValueError, id="other-errors-propagate"),
]


@pytest.mark.parametrize("ob, expected", CONFORMANCE)
def test_conformance(hooks, ob, expected):
    if expected is ValueError:
        with pytest.raises(ValueError):
            IFoo(ob, "alternate")
    else:
        assert IFoo(ob, "alternate") == expected


def test_conformance_needs_call_conform():
    with pytest.raises(AttributeError, match="_call_conform"):
        ext.InterfaceBase("I", "m")(ConformsWith(lambda iface: "never"), "alternate")


def test_hooks_in_order_first_answer_wins(hooks):
    calls = []
    ob = Plain()
    hooks[:] = [recording_hook(calls), recording_hook(calls, False), recording_hook(calls, "late")]
    assert IFoo(ob) is False
    assert calls == [(IFoo, ob), (IFoo, ob)]


def test_raising_hook_ends_adaptation(hooks):
    calls = []

    def failing(iface, ob):
        raise LookupError("hook")

    hooks[:] = [failing, recording_hook(calls, "never")]
    with pytest.raises(LookupError):
        IFoo(Plain(), "alternate")
    assert calls == []


def test_hook_appended_during_a_walk_waits_for_the_next(hooks):
    calls = []
    late = recording_hook(calls, "late")

    def appending(iface, ob):
        if late not in hooks:
            hooks.append(late)
        return None

    hooks[:] = [appending]
    assert IFoo(Plain(), "alternate") == "alternate"
    assert IFoo(Plain(), "alternate") == "late"


def test_hooks_that_shorten_the_list_during_a_walk(hooks):
    calls = []

    def clearing(iface, ob):
        hooks.clear()
        return None

    hooks[:] = [recording_hook(calls), clearing, recording_hook(calls, "never")]
    assert IFoo(Plain(), "alternate") == "alternate"
    assert len(calls) == 1


def test_rebinding_the_module_attribute_changes_nothing(hooks):
    hooks[:] = [lambda iface, ob: "from-hook"]
    ext.adapter_hooks = []
    try:
        assert IFoo(Plain()) == "from-hook"
    finally:
        ext.adapter_hooks = hooks


class Override(Interface):
    def __adapt__(self, ob):
        return ("custom", ob)


class Selects(Override):
    _CALL_CUSTOM_ADAPT = False  # only the key's presence counts


class Inherits(Selects):
    pass


@pytest.mark.parametrize(
    "cls, custom_when_called",
    [(Override, False), (Selects, True), (Inherits, False)],
    ids=["override-without-key", "key-in-own-class", "key-only-in-base"],
)
def test_custom_adapt_selection(hooks, cls, custom_when_called):
    iface, ob = cls("ICustom", "tests"), Plain()
    assert iface.__adapt__(ob) == ("custom", ob)
    assert iface(ob, "alternate") == (("custom", ob) if custom_when_called else "alternate")


class Answering:
    """A provided specification that is not a SpecificationBase."""

    extends = ()  # what makes __providedBy__ accept it

    def __init__(self, answer):
        self.answer = answer

    def __call__(self, iface):
        return self.answer


class BadTruth:
    def __bool__(self):
        raise ValueError("truth")


class ProvidesDirectly:
    def __init__(self, spec):
        self.__providedBy__ = spec


def implied_spec(iface, value):
    spec = Implements()
    spec._implied = {iface: value}
    return spec


PROVIDED_SPECS = [
    pytest.param(Answering(1), "self", id="callable-true"),
    pytest.param(Answering(0), "hook", id="callable-false-consults-hooks"),
    pytest.param(Answering(BadTruth()), ValueError, id="truth-test-raises"),
    pytest.param(implied_spec(IFoo, False), "self", id="implied-value-false-still-implies"),
    pytest.param(implied_spec(IBar, True), "hook", id="not-implied"),
]


@pytest.mark.parametrize("spec, expected", PROVIDED_SPECS)
def test_provided_specifications(hooks, spec, expected):
    hooks[:] = [lambda iface, ob: "hook"]
    ob = ProvidesDirectly(spec)
    if expected is ValueError:
        with pytest.raises(ValueError):
            IFoo(ob, "alternate")
    else:
        assert IFoo(ob) == (ob if expected == "self" else expected)


def test_resolved_specification_with_unset_implied_raises(hooks):
    spec = Implements()
    del spec._implied
    with pytest.raises(AttributeError):
        IFoo(ProvidesDirectly(spec), "alternate")


def test_unhashable_interface_counts_as_not_implied(hooks):
    hooks[:] = [lambda iface, ob: "hook"]
    unhashable = Interface(["unhashable"], "tests")
    spec = Implements()
    spec._implied = {IFoo: ()}
    assert unhashable(ProvidesDirectly(spec)) == "hook"


def test_implied_rebound_while_the_interface_is_hashed(hooks):
    spec = Implements()

    class Rebinding(str):
        def __hash__(self):
            spec._implied = {}  # drops the last reference to the dict being probed
            return str.__hash__(self)

    iface = Interface(Rebinding("IRebinding"), "tests")
    spec._implied = dict.fromkeys([IFoo, IBar, *(object() for _ in range(20))])
    assert iface(ProvidesDirectly(spec), "alternate") == "alternate"


@pytest.mark.isolated
def test_class_freed_while_its_namespace_is_probed():
    # A key of the interface class's namespace that collides with the
    # selector's name compares by running code that rebinds the interface's
    # class and collects the old one, namespace and all.
    out = run_isolated(
        """
import gc, sys, types
import _trel_interface_coptimizations as ext

fake = types.ModuleType("trel.interface.declarations")
class Implements(ext.SpecificationBase):
    pass
fake.Implements, fake.BuiltinImplementationSpecifications = Implements, {}
fake._empty = Implements()
fake._empty._implied = {}
fake.implementedByFallback = lambda cls: fake._empty
sys.modules[fake.__name__] = fake

holder = {}

class Colliding(str):
    def __hash__(self):
        return hash("_CALL_CUSTOM_ADAPT")

    def __eq__(self, other):
        iface = holder.pop("iface", None)
        if iface is not None:
            iface.__class__ = Other
            gc.collect()
            [dict.fromkeys(range(8)) for _ in range(2000)]  # reuse the freed memory
        return False

class Other(ext.InterfaceBase):
    pass

holder["iface"] = iface = type("Doomed", (ext.InterfaceBase,), {Colliding("x%d" % i): i for i in range(3)})("I", "m")
ext.adapter_hooks.append(lambda i, o: "hooked")
print(iface(object(), "alternate"))
"""
    )
    assert out.split() == ["hooked"]


def test_errors_of_conformance_and_custom_adapt_propagate(hooks):
    class Failing(Interface):
        def _call_conform(self, conform):
            raise LookupError("conform")

    with pytest.raises(LookupError):
        Failing("I", "m")(ConformsWith(lambda iface: "never"), "alternate")

    class CustomRaises(Interface):
        _CALL_CUSTOM_ADAPT = True

        def __adapt__(self, ob):
            raise KeyError("adapt")

    with pytest.raises(KeyError):
        CustomRaises("I", "m")(Plain(), "alternate")


def test_custom_adapt_returning_none_goes_on(hooks):
    class DeclinesAll(Interface):
        _CALL_CUSTOM_ADAPT = True

        def __adapt__(self, ob):
            return None

    iface, ob = DeclinesAll("I", "m"), Plain()
    assert iface(ob, "alternate") == "alternate"
    with pytest.raises(TypeError) as caught:
        iface(ob)
    assert caught.value.args == ("Could not adapt", ob, iface)
