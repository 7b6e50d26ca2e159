"""The framework against the libraries a user would pick instead, in one run.

Every row times the same work done each way, interleaved in rounds with the
others of its group (see timing.py), on whichever core the framework chose
(bench/run.py runs this on the C++ core). A peer that is not installed is
reported and skipped; `pip install .[bench]` installs them all.

Prints one JSON object: {"groups": {group: {label: [ns per round]}}, "missing": [...]}.
"""

import abc
import functools
import importlib
import json
import sys
import typing

from timing import Timer, time_rounds

import trel.interface
from trel.interface import AdapterRegistry, Interface, adapter_hooks, classImplements, implementer

MISSING = []


def peer(module):
    """The peer's module, or None (noted) when it is not installed."""
    try:
        return importlib.import_module(module)
    except ImportError:
        MISSING.append(module)
        return None


class Base:
    pass


class Derived(Base):  # one level of inheritance, as every row adapts
    pass


class Other:
    pass


class Adapter:
    def __init__(self, context):
        self.context = context


class Pair:
    def __init__(self, first, second):
        self.first = first
        self.second = second


class IBase(Interface):
    pass


class IOther(Interface):
    pass


class ITarget(Interface):
    pass


class IPair(Interface):
    pass


implementer(IBase)(Base)
implementer(IOther)(Other)


def single_adaptation():
    ob = Derived()
    registry = AdapterRegistry()
    registry.register([IBase], ITarget, "", Adapter)
    adapter_hooks.append(registry.adapter_hook)
    rows = {
        "trel: registry.queryAdapter(ob, I)": lambda: registry.queryAdapter(ob, ITarget),
        "trel: I(ob) through the adapter hook": lambda: ITarget(ob),
    }

    adapt = functools.singledispatch(lambda ob: None)
    adapt.register(Base, Adapter)
    rows["functools.singledispatch"] = lambda: adapt(ob)

    plum = peer("plum")
    if plum:
        plum_dispatch = plum.Dispatcher()

        @plum_dispatch
        def plum_adapt(ob: Base):
            return Adapter(ob)

        rows["plum-dispatch"] = lambda: plum_adapt(ob)
    multipledispatch = peer("multipledispatch")
    if multipledispatch:
        namespace = {}

        @multipledispatch.dispatch(Base, namespace=namespace)
        def md_adapt(ob):
            return Adapter(ob)

        rows["multipledispatch"] = lambda: md_adapt(ob)
    multimethod = peer("multimethod")
    if multimethod:

        @multimethod.multimethod
        def mm_adapt(ob: Base):
            return Adapter(ob)

        rows["multimethod"] = lambda: mm_adapt(ob)
    ovld = peer("ovld")
    if ovld:

        @ovld.ovld
        def ovld_adapt(ob: Base):
            return Adapter(ob)

        rows["ovld"] = lambda: ovld_adapt(ob)
    for call in rows.values():
        assert type(call()) is Adapter
    return rows


def double_adaptation():
    first, second = Derived(), Other()
    objects = (first, second)
    registry = AdapterRegistry()
    registry.register([IBase, IOther], IPair, "", Pair)
    rows = {"trel: registry.queryMultiAdapter((a, b), I)": lambda: registry.queryMultiAdapter(objects, IPair)}
    plum = peer("plum")
    if plum:
        plum_dispatch = plum.Dispatcher()

        @plum_dispatch
        def plum_pair(a: Base, b: Other):
            return Pair(a, b)

        rows["plum-dispatch"] = lambda: plum_pair(first, second)
    multipledispatch = peer("multipledispatch")
    if multipledispatch:
        namespace = {}

        @multipledispatch.dispatch(Base, Other, namespace=namespace)
        def md_pair(a, b):
            return Pair(a, b)

        rows["multipledispatch"] = lambda: md_pair(first, second)
    multimethod = peer("multimethod")
    if multimethod:

        @multimethod.multimethod
        def mm_pair(a: Base, b: Other):
            return Pair(a, b)

        rows["multimethod"] = lambda: mm_pair(first, second)
    ovld = peer("ovld")
    if ovld:

        @ovld.ovld
        def ovld_pair(a: Base, b: Other):
            return Pair(a, b)

        rows["ovld"] = lambda: ovld_pair(first, second)
    for call in rows.values():
        assert type(call()) is Pair
    return rows


def provides():
    ABase = abc.ABCMeta("ABase", (), {})

    class ASub(ABase):
        pass

    ABase.register(Base)

    @typing.runtime_checkable
    class Named(typing.Protocol):
        def name(self) -> str: ...

    class HasName(Derived):
        def name(self):
            return ""

    ob, sub, named = Derived(), ASub(), HasName()
    rows = {
        "trel: I.providedBy(ob)": lambda: IBase.providedBy(ob),
        "abc: isinstance, registered class": lambda: isinstance(ob, ABase),
        "abc: isinstance, subclass": lambda: isinstance(sub, ABase),
        "typing.Protocol: isinstance, runtime-checkable": lambda: isinstance(named, Named),
    }
    for call in rows.values():
        assert call()
    return rows


def declaring():
    ABase = abc.ABCMeta("ABase", (), {})

    def new_class():
        return type("C", (), {})

    return {
        "trel: classImplements(new class, I)": lambda: classImplements(new_class(), IBase),
        "abc: ABCMeta.register(new class)": lambda: ABase.register(new_class()),
        "creating the class alone": new_class,
    }


GROUPS = {
    "adapting one object (same adapter class, one level of inheritance)": single_adaptation,
    "adapting two objects": double_adaptation,
    "does it provide this?": provides,
    "declaring what a new class implements": declaring,
}


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 11
    groups = {name: make() for name, make in GROUPS.items()}
    result = {"core": trel.interface.CORE, "groups": {}, "missing": sorted(set(MISSING))}
    for name, rows in groups.items():
        samples = time_rounds([Timer(call) for call in rows.values()], rounds)
        result["groups"][name] = dict(zip(rows, samples))
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
