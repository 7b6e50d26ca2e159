"""Cached answers of registries built on other registries are never stale.

An ``AdapterRegistry`` drops the answers of every registry built on it when
it changes (bases know them through weak references), so its queries check
nothing; a ``VerifyingAdapterRegistry`` checks the generations behind it
before every query instead, for registries their bases do not know about.
"""

import pytest

pytestmark = pytest.mark.isolated

SETUP = """
import gc
from trel.interface import AdapterRegistry, Interface, VerifyingAdapterRegistry, implementer

class IRequired(Interface):
    pass

class IProvided(Interface):
    pass

@implementer(IRequired)
class Thing:
    pass

ob = Thing()
"""


@pytest.mark.parametrize("kind", ["AdapterRegistry", "VerifyingAdapterRegistry"])
def test_changes_below_reach_every_registry_built_on_them(run, kind):
    run(SETUP + f"""
Registry = {kind}
site = Registry(name="site")
mid = Registry([site], name="mid")
app = Registry([mid], name="app")
leaf = Registry([app], name="leaf")
assert leaf.queryAdapter(ob, IProvided) is None          # cached: nothing

site.register([IRequired], IProvided, "", lambda ob: "site")
assert leaf.queryAdapter(ob, IProvided) == "site"        # three levels down
mid.register([IRequired], IProvided, "", lambda ob: "mid")
assert leaf.queryAdapter(ob, IProvided) == "mid"
mid.unregister([IRequired], IProvided, "")
assert leaf.queryAdapter(ob, IProvided) == "site"

app.__bases__ = ()                                        # a base removed
assert leaf.queryAdapter(ob, IProvided) is None and leaf.ro == (leaf, app)
app.__bases__ = (mid,)
assert leaf.queryAdapter(ob, IProvided) == "site"

# A factory that changes a base while the query runs: the answer cached
# during the change is dropped, and the next query sees the new adapter.
def changing(ob):
    site.register([IRequired], IProvided, "", lambda ob: "changed")
    return "during"
site.register([IRequired], IProvided, "", changing)
assert leaf.queryAdapter(ob, IProvided) == "during"
assert leaf.queryAdapter(ob, IProvided) == "changed"

# A registry built on the site and collected is dropped from the site's
# reach, and changes go on working.
extra = Registry([site])
extra.queryAdapter(ob, IProvided)
del extra
gc.collect()
assert len(site._v_subregistries) == 1
site.register([IRequired], IProvided, "", lambda ob: "after")
assert leaf.queryAdapter(ob, IProvided) == "after"
""")


def test_only_the_verifying_variant_reads_generations(run):
    run(SETUP + """
class Counted(AdapterRegistry):
    reads = 0

    @property
    def _generation(self):
        Counted.reads += 1
        return self.__dict__["generation"]

    @_generation.setter
    def _generation(self, value):
        self.__dict__["generation"] = value

base = Counted()
base.register([IRequired], IProvided, "", lambda ob: "adapted")
plain = AdapterRegistry([base])
verifying = VerifyingAdapterRegistry([base])
for registry in (plain, verifying):
    registry.queryAdapter(ob, IProvided)
Counted.reads = 0
assert plain.queryAdapter(ob, IProvided) == "adapted" and Counted.reads == 0
assert verifying.queryAdapter(ob, IProvided) == "adapted" and Counted.reads == 1

# A registry its base does not know about (as when the two are restored
# separately) is kept right only by checking.
for registry in (plain, verifying):
    base._v_subregistries.discard(registry)
base.register([IRequired], IProvided, "", lambda ob: "new")
assert verifying.queryAdapter(ob, IProvided) == "new"
assert plain.queryAdapter(ob, IProvided) == "adapted"
""")


def test_registries_cannot_form_a_cycle(run):
    run(SETUP + """
first = AdapterRegistry()
second = AdapterRegistry([first])
for bases in ((first,), (second,)):
    try:
        first.__bases__ = bases
    except ValueError as error:
        assert "cycle" in str(error), error
    else:
        raise AssertionError(f"a cycle was accepted: {bases}")
assert first.__bases__ == () and first.ro == (first,)
""")
