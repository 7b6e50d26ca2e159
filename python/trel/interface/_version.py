"""The distribution's version: the one place it is written.

The build reads it from here (``[tool.scikit-build.metadata.version]`` in
pyproject.toml), and ``trel.interface.__version__`` is this value.
"""

__version__ = "0.1.0"
