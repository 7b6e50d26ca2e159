"""A mypy plugin that makes the type checker understand interfaces.

Enable it in the mypy configuration::

    [tool.mypy]                          # pyproject.toml
    plugins = ["trel.interface.mypy"]

    [mypy]                               # mypy.ini or setup.cfg
    plugins = trel.interface.mypy

With it, a class statement based on ``Interface`` is an interface: its
methods are written without ``self``, ``Attribute(...)`` and annotated names
are its attributes, and ``invariant``/``taggedValue`` calls belong in its
body. An interface used as a type means "an object that provides it", and a
class declared with ``@implementer(I)`` or ``classImplements(C, I)`` is
accepted as one; the declaration itself is checked against what ``I``
describes. Adapting (``I(ob)``, registry queries) gives ``I``, and
``I.providedBy(ob)`` narrows ``ob`` to ``I``.

Tested with mypy 1.4 to 2.4 (``pip install "trel.interface[mypy]"``).
"""

from __future__ import annotations

from mypy.plugin import Plugin

from trel.interface.mypy._plugin import InterfacePlugin

__all__ = ["InterfacePlugin", "plugin"]


def plugin(version: str) -> type[Plugin]:
    """The entry point mypy calls with its own version."""
    return InterfacePlugin
