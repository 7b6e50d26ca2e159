"""What the installed distribution promises: its version, and a namespace that others can share."""

import importlib.metadata

import trel
import trel.interface


def test_version_is_the_distributions():
    # The installed name: Python 3.9 does not normalise "trel.interface" to it.
    assert trel.interface.__version__ == importlib.metadata.version("trel_interface")


def test_trel_is_a_namespace_package():
    # No trel/__init__.py: other distributions can add trel.* packages.
    assert getattr(trel, "__file__", None) is None
    assert type(trel.__path__).__name__ == "_NamespacePath"
