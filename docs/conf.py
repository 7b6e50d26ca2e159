"""Sphinx configuration for the trel.interface documentation (`make docs`)."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent / "_ext"))

import trel.interface

project = "trel.interface"
author = "The trel.interface authors"
copyright = "the trel.interface authors"
release = version = trel.interface.__version__

extensions = ["myst_parser", "sphinx.ext.autodoc", "sphinx.ext.intersphinx", "apiref"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build", "_static/*.md"]
myst_heading_anchors = 3
myst_enable_extensions = ["colon_fence"]

# Docstrings name other objects in ``literal`` text; the reference pages
# list members in source order, and show signatures without the module.
autodoc_member_order = "bysource"
add_module_names = False
# The docstrings say what each argument is; signatures stay short.
autodoc_typehints = "none"
intersphinx_mapping: dict[str, tuple[str, None]] = {}

html_theme = "furo"
html_title = f"trel.interface {release}"
html_static_path = ["_static"]
html_css_files = ["custom.css"]
