"""The documentation's examples run as shown, on each core.

Every page under docs/ is a script: its ```python blocks run in order in one
fresh interpreter. A ```text block right after a python block is that
block's output, and must be exactly what the block prints. The examples in
the framework's docstrings (literal blocks after "::"), which the API
reference shows, run too.
"""

import ast
import pathlib
import re
import textwrap

import pytest

from conftest import run_isolated

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
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


def docstring_examples():
    """(where, code) for every literal block in a docstring of the framework's sources."""
    found = []
    for path in sorted((ROOT / "python" / "trel").rglob("*.py")):
        for node in ast.walk(ast.parse(path.read_text())):
            if not isinstance(node, (ast.Module, ast.ClassDef, ast.FunctionDef, ast.AsyncFunctionDef)):
                continue
            doc = ast.get_docstring(node) or ""
            # A line ending in "::", a blank line, then the indented block.
            for match in re.finditer(r"::\n\n((?:[ \t]+\S.*\n|\n)+)", doc + "\n"):
                where = f"{path.relative_to(ROOT)}:{getattr(node, 'name', 'module')}"
                found.append((where, textwrap.dedent(match.group(1))))
    return found


def test_docstrings_have_examples():
    assert len(docstring_examples()) >= 2


@pytest.mark.isolated
@pytest.mark.parametrize("pure", [None, "1"], ids=["c++", "python"])
@pytest.mark.parametrize("where, code", docstring_examples(), ids=[where for where, _ in docstring_examples()])
def test_docstring_examples_run(where, code, pure):
    run_isolated(code, env={"TREL_INTERFACE_PURE": pure})
