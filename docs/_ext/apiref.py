"""The ``public-names`` directive: a reference entry for every name in a module's ``__all__``.

The reference pages list no names by hand, so a name added to ``__all__``
is documented from its docstring at the next build, and none is forgotten.
Classes get their public members; interfaces (instances, not classes),
functions and data get one entry each.
"""

from __future__ import annotations

import importlib
import inspect
from typing import Any

from docutils import nodes
from docutils.statemachine import StringList
from sphinx.application import Sphinx
from sphinx.util.docutils import SphinxDirective
from sphinx.util.nodes import nested_parse_with_titles


def _directive(value: object) -> str:
    if inspect.isclass(value):
        return "autoclass"
    if inspect.isfunction(value) or inspect.isbuiltin(value) or inspect.ismethoddescriptor(value):
        return "autofunction"
    return "autodata"


class PublicNames(SphinxDirective):
    required_arguments = 1

    def run(self) -> list[nodes.Node]:
        module_name = self.arguments[0]
        module = importlib.import_module(module_name)
        lines = [f".. currentmodule:: {module_name}", ""]
        for name in sorted(module.__all__, key=str.lower):
            kind = _directive(getattr(module, name))
            lines.append(f".. {kind}:: {module_name}.{name}")
            if kind == "autoclass":
                lines.append("   :members:")
            lines.append("")
        container = nodes.section()
        container.document = self.state.document
        nested_parse_with_titles(self.state, StringList(lines, source=f"<public names of {module_name}>"), container)
        return container.children


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_directive("public-names", PublicNames)
    return {"parallel_read_safe": True}
