"""The documentation's examples run as shown, on each core.

Every page under docs/ is a script: its ```python blocks run in order in one
fresh interpreter. A ```text block right after a python block is that
block's output, and must be exactly what the block prints. The examples in
the framework's docstrings (literal blocks after "::"), which the API
reference shows, run too.
"""

import inspect
import json
import pathlib
import re
import textwrap

import pytest

from conftest import run_isolated

DOCS = pathlib.Path(__file__).resolve().parent.parent / "docs"
FENCE = re.compile(r"^```(\w+)\n(.*?)^```\n(\s*)", re.S | re.M)
MARK = "--- block {} ---"


def pages():
    return sorted(p for p in DOCS.rglob("*.md") if "_static" not in p.parts)


def blocks(text):
    """The page's python blocks, each with the text block that follows it (or None)."""
    found, fences = [], list(FENCE.finditer(text))
    for i, fence in enumerate(fences):
        if fence.group(1) != "python":
            continue
        following = fences[i + 1] if i + 1 < len(fences) else None
        adjacent = following is not None and following.start() == fence.end() and following.group(1) == "text"
        found.append((fence.group(2), following.group(2) if adjacent else None))
    return found


def script(page_blocks):
    parts = []
    for i, (code, _) in enumerate(page_blocks):
        parts.append(f"print({MARK.format(i)!r})\n{code}")
    return "\n".join(parts)


def test_pages_have_examples():
    # A page added without examples is fine; a tree with none means the test looks in the wrong place.
    assert sum(len(blocks(p.read_text())) for p in pages()) > 10


@pytest.mark.isolated
@pytest.mark.parametrize("pure", [None, "1"], ids=["c++", "python"])
@pytest.mark.parametrize("page", pages(), ids=lambda p: str(p.relative_to(DOCS)))
def test_page_examples_run_and_print_what_they_show(page, pure):
    page_blocks = blocks(page.read_text())
    if not page_blocks:
        pytest.skip("no examples")
    out = run_isolated(script(page_blocks), env={"TREL_INTERFACE_PURE": pure})
    printed = re.split(r"^--- block \d+ ---\n", out, flags=re.M)[1:]
    assert len(printed) == len(page_blocks)
    for (code, expected), got in zip(page_blocks, printed):
        if expected is not None:
            assert got == expected, f"the block\n{code}\nprinted\n{got}"


# The docstrings the API reference shows: each documented module's, each public name's and,
# for classes, their members'. Read in a fresh interpreter, as this process has its own
# declarations module installed.
COLLECT_DOCSTRINGS = """
import inspect, json
import trel.interface, trel.component
found = []
for module in (trel.interface, trel.component):
    found.append((module.__name__, module.__doc__ or ""))
    for name in module.__all__:
        value = getattr(module, name)
        found.append((f"{module.__name__}.{name}", inspect.getdoc(value) or ""))
        if inspect.isclass(value):
            for member, attribute in vars(value).items():
                if not member.startswith("_") and getattr(attribute, "__doc__", None):
                    found.append((f"{module.__name__}.{name}.{member}", inspect.getdoc(attribute) or ""))
print(json.dumps(found))
"""


def docstring_examples():
    """(where, code) for every literal block (after a line ending in "::") in those docstrings."""
    found = []
    for where, doc in json.loads(run_isolated(COLLECT_DOCSTRINGS)):
        for match in re.finditer(r"::\n\n((?:[ \t]+\S.*\n|\n)+)", inspect.cleandoc(doc) + "\n"):
            found.append((where, textwrap.dedent(match.group(1))))
    return found


EXAMPLES = docstring_examples()


def test_docstrings_have_examples():
    assert len(EXAMPLES) >= 2


@pytest.mark.isolated
@pytest.mark.parametrize("pure", [None, "1"], ids=["c++", "python"])
@pytest.mark.parametrize("where, code", EXAMPLES, ids=[where for where, _ in EXAMPLES])
def test_docstring_examples_run(where, code, pure):
    run_isolated(code, env={"TREL_INTERFACE_PURE": pure})
