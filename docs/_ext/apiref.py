"""The ``public-names`` directive: a reference entry for every name in a module's ``__all__``.

The reference pages list no names by hand, so a name added to ``__all__``
is documented from its docstring at the next build, and none is forgotten.
Classes get their public members and functions their signature. Interfaces
(instances, not classes) and other values get one entry with their own
documentation: an interface's docstring and the names it describes, the
docstring of the value's class when that class is the framework's, or the
text in ``VALUES`` below; a value with none of these fails the build.
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

# What a value says about itself when its class's docstring would describe
# the class instead (a str, a list, the root interface).
VALUES = {
    "trel.interface.CORE": '"c++" when the C++ core runs, "python" for the plain-Python core; chosen once, '
    "when the framework is first imported (``TREL_INTERFACE_PURE=1`` asks for the plain-Python one).",
    "trel.interface.adapter_hooks": "The functions that adaptation asks after an object and its ``__conform__``: "
    "each is called as ``hook(interface, ob)``, in order, and the first answer that is not None is the adapter. "
    "Importing ``trel.component`` appends one that adapts through the current component registry.",
    "trel.interface.Interface": "The root interface: every interface extends it, and every object provides it. "
    "Define interfaces with class statements based on it.",
}


def _is_function(value: object) -> bool:
    return inspect.isfunction(value) or inspect.isbuiltin(value) or inspect.ismethoddescriptor(value)


def _value_text(full_name: str, value: object) -> str | None:
    if full_name in VALUES:
        return VALUES[full_name]
    get_doc = getattr(value, "getDoc", None)
    if callable(get_doc) and get_doc():
        names = ", ".join(f"``{name}``" for name in getattr(value, "names", list)())
        return inspect.cleandoc(get_doc()) + (f"\n\nDescribes {names}." if names else "")
    if type(value).__module__.startswith("trel.") and type(value).__doc__:
        return inspect.cleandoc(type(value).__doc__)
    return None


class PublicNames(SphinxDirective):
    required_arguments = 1

    def run(self) -> list[nodes.Node]:
        module_name = self.arguments[0]
        module = importlib.import_module(module_name)
        lines = [f".. currentmodule:: {module_name}", ""]
        for name in sorted(module.__all__, key=str.lower):
            value, full_name = getattr(module, name), f"{module_name}.{name}"
            if inspect.isclass(value):
                lines += [f".. autoclass:: {full_name}", "   :members:", ""]
            elif _is_function(value):
                lines += [f".. autofunction:: {full_name}", ""]
            else:
                text = _value_text(full_name, value)
                if text is None:
                    raise self.error(f"{full_name} has no documentation of its own: add it to VALUES in apiref.py")
                lines += [f".. py:data:: {name}", ""]
                lines += ["   " + line if line else "" for line in text.splitlines()] + [""]
        container = nodes.section()
        container.document = self.state.document
        nested_parse_with_titles(self.state, StringList(lines, source=f"<public names of {module_name}>"), container)
        return container.children


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_directive("public-names", PublicNames)
    return {"parallel_read_safe": True}
