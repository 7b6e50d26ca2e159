"""Threads sharing the module's objects while others change them.

The module has no lock of its own: every entry point runs under the
interpreter's lock, which a thread gives up whenever Python code runs. The
stress run switches threads as often as the interpreter allows and checks
every answer; it runs in a child interpreter, so a crash fails the test.
"""

import pytest

from conftest import run_isolated

STRESS = """
import sys
import threading
import time
import types

import _trel_interface_coptimizations as ext

class Implements(ext.SpecificationBase):
    def __init__(self, *implied):
        self._implied = dict.fromkeys(implied, ())

declarations = types.ModuleType("trel.interface.declarations")
declarations.Implements = Implements
declarations._empty = Implements()
declarations.BuiltinImplementationSpecifications = {}
declarations.implementedByFallback = lambda cls: declarations._empty
sys.modules[declarations.__name__] = declarations

class Interface(ext.InterfaceBase):
    pass

IFACES = [Interface(f"I{i}", "stress") for i in range(4)]
SPEC = Implements(*IFACES[:2])

class Provider:
    __implemented__ = SPEC

class Plain:
    pass

class Registry:
    def __init__(self):
        self._generation = 0

REGISTRIES = [Registry() for _ in range(4)]

def factory(ob):
    return ("adapted", ob)

class Lookup:
    def _uncached_lookup(self, required, provided, *name):
        return factory

    def _uncached_lookupAll(self, required, provided):
        return ("all", required, provided)

    def _uncached_subscriptions(self, required, provided):
        return ("subscriptions", required, provided)

class Verifying(Lookup, ext.VerifyingBase):
    _registry = types.SimpleNamespace(ro=REGISTRIES)

class Cached(Lookup, ext.LookupBase):
    pass

LOOKUPS = [Verifying(), Cached()]
HOOKS = ext.adapter_hooks
PROVIDER, PLAIN = Provider(), Plain()
DEADLINE = time.monotonic() + 1.5
ROUNDS = 20000
counts = []
errors = []

def hook(iface, ob):
    return ("hooked", ob)

def query(seed):
    done = 0
    for i in range(ROUNDS):
        if time.monotonic() > DEADLINE:
            break
        iface = IFACES[(seed + i) % len(IFACES)]
        lookup = LOOKUPS[i % 2]
        assert lookup.lookup1(SPEC, iface) is factory
        assert lookup.queryAdapter(PROVIDER, iface) == ("adapted", PROVIDER)
        assert lookup.adapter_hook(iface, PROVIDER, "") == ("adapted", PROVIDER)
        assert lookup.lookupAll((SPEC,), iface) == ("all", (SPEC,), iface)
        assert lookup.subscriptions([SPEC], iface) == ("subscriptions", (SPEC,), iface)
        assert iface(PROVIDER, "alt") in (PROVIDER, "alt", ("hooked", PROVIDER))
        assert iface(PLAIN, "alt") in ("alt", ("hooked", PLAIN))
        assert SPEC.isOrExtends(iface) in (True, False)
        assert ext.providedBy(PROVIDER) is SPEC
        done += 9
    counts.append(done)

def mutate(seed):
    done = 0
    for i in range(ROUNDS):
        if time.monotonic() > DEADLINE:
            break
        step = (seed + i) % 6
        if step == 0:
            REGISTRIES[1 + i % 3]._generation += 1
        elif step == 1:
            LOOKUPS[i % 2].changed(None)
        elif step == 2:
            HOOKS.append(hook)
        elif step == 3:
            try:
                HOOKS.remove(hook)
            except ValueError:
                pass
        elif step == 4:
            SPEC._implied = dict.fromkeys(IFACES[: 1 + i % 3], ())
        else:
            ext.InterfaceBase.__init__(IFACES[3], "I3", "stress")  # same identity, fields replaced
        done += 1
    counts.append(done)

def guarded(target, seed):
    try:
        target(seed)
    except BaseException as exc:
        errors.append(repr(exc))

sys.setswitchinterval(1e-6)
threads = [threading.Thread(target=guarded, args=(query, n)) for n in range(4)]
threads += [threading.Thread(target=guarded, args=(mutate, n)) for n in range(3)]
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
print(sum(counts), len(counts))
print(errors)
"""


@pytest.mark.isolated
def test_threads_query_while_others_change_the_shared_objects():
    counts, errors = run_isolated(STRESS).splitlines()
    total, finished = map(int, counts.split())
    assert errors == "[]"
    assert finished == 7
    assert total > 1000
