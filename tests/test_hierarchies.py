"""Resolution orders, and hierarchies deeper than the interpreter's recursion limit.

Orders are merged from the orders bases already have; they must equal
those of the plain recursive definition (C3, else the depth-first order that
keeps last places) on every shape, stay right after a base changes, and
nothing that walks bases or registries may recurse per level.
"""

import pytest

pytestmark = pytest.mark.isolated

# The recursive definition, as a reference for small hierarchies.
REFERENCE = """
from trel.interface import Interface
from trel.interface.interface import InterfaceClass

def reference(ob):
    if not ob.__bases__:
        return [ob]
    sequences = [reference(base) for base in ob.__bases__] + [list(ob.__bases__)]
    result = []
    while True:
        sequences = [s for s in sequences if s]
        if not sequences:
            return [ob, *result]
        for s in sequences:
            head = s[0]
            if not any(head in other[1:] for other in sequences):
                break
        else:
            return depth_first(ob)
        result.append(head)
        for s in sequences:
            if s[0] is head:
                del s[0]

def depth_first(ob):
    order = []
    def walk(node):
        order.append(node)
        for base in node.__bases__:
            walk(base)
    walk(ob)
    kept = []
    for node in reversed(order):
        if node not in kept:
            kept.append(node)
    return kept[::-1]

def build(shape):
    made = {"Interface": Interface}
    for name, bases in shape:
        made[name] = InterfaceClass(name, [made[b] for b in bases], __module__="shapes")
    return made

def check(made):
    for name, iface in made.items():
        assert list(iface.__sro__) == reference(iface), (name, iface.__sro__, reference(iface))
        assert set(iface._implied) == set(iface.__sro__)
"""

SHAPES = {
    "diamond": [("A", []), ("B", ["A"]), ("C", ["A"]), ("D", ["B", "C"])],
    "crossing": [("A", []), ("B", []), ("C", []), ("D", []), ("E", []),
                 ("K1", ["A", "B", "C"]), ("K2", ["D", "B", "E"]), ("K3", ["D", "A"]),
                 ("Z", ["K1", "K2", "K3"])],
    "base before its extension (fallback)": [("A", []), ("B", ["A"]), ("C", ["A", "B"]), ("D", ["C", "B"])],
    "opposite orders (fallback)": [("A", []), ("B", []), ("X", ["A", "B"]), ("Y", ["B", "A"]), ("Z", ["X", "Y"])],
    "fan": [*((f"F{i}", []) for i in range(30)), ("All", [f"F{i}" for i in range(30)])],
}  # fmt: skip


@pytest.mark.parametrize("shape", SHAPES)
def test_orders_match_the_recursive_definition(run, shape):
    run(REFERENCE + f"""
made = build({SHAPES[shape]!r})
check(made)
# A change at the bottom reaches everything built on it, each order right.
first = made[{SHAPES[shape][0][0]!r}]
extra = InterfaceClass("Extra", __module__="shapes")
first.__bases__ = (extra,)
made["Extra"] = extra
check(made)
""")


# Each walk under a recursion limit far below the depth of the hierarchy:
# anything that recursed per level would fail.
DEEP = """
import sys
from trel.interface import AdapterRegistry, Interface, implementedBy, implementer, providedBy
from trel.interface.interface import InterfaceClass

DEPTH = 1000
sys.setrecursionlimit(120)

chain = [Interface]
for i in range(DEPTH):
    chain.append(InterfaceClass(f"I{i}", [chain[-1]], __module__="deep"))
assert chain[-1].extends(chain[1]) and len(chain[-1].__iro__) == DEPTH + 1
chain[1].__bases__ = (InterfaceClass("Below", __module__="deep"),)
assert chain[-1].__sro__[-2].__name__ == "Below"

# A ladder: each level's two interfaces extend both of the level below.
level = [Interface]
for i in range(200):
    level = [InterfaceClass(f"L{i}{side}", level, __module__="deep") for side in "ab"]
assert len(level[0].__sro__) == 2 * 200

classes = [object]
for i in range(DEPTH):
    classes.append(type(f"C{i}", (classes[-1],), {}))
implementer(chain[5])(classes[3])
deepest = classes[-1]()
assert chain[5].providedBy(deepest) and chain[4] in providedBy(deepest)

registries = [AdapterRegistry()]
for i in range(DEPTH):
    registries.append(AdapterRegistry([registries[-1]]))
registries[0].register([chain[5]], chain[2], "", lambda ob: ("adapted", ob))
assert registries[-1].queryAdapter(deepest, chain[2]) == ("adapted", deepest)
registries[1].__bases__ = ()
assert registries[-1].queryAdapter(deepest, chain[2]) is None
"""


def test_deep_hierarchies_do_not_recurse(run):
    run(DEEP)


def test_specifications_cannot_form_a_cycle(run):
    run("""
from trel.interface import Interface
from trel.interface.interface import InterfaceClass

I = InterfaceClass("I", __module__="cycle")
J = InterfaceClass("J", (I,), __module__="cycle")
K = InterfaceClass("K", (J,), __module__="cycle")
for target, bases in ((I, (I,)), (I, (K,)), (J, (Interface, K))):
    before = (target.__bases__, target.__sro__)
    try:
        target.__bases__ = bases
    except ValueError as error:
        assert "cycle" in str(error), error
    else:
        raise AssertionError(f"a cycle was accepted: {target} on {bases}")
    assert (target.__bases__, target.__sro__) == before  # nothing half-done
assert [spec.__name__ for spec in K.__sro__] == ["K", "J", "I", "Interface"]
""")
