"""Interface declarations, adaptation and adapter registries.

The fast core is the extension module ``_trel_interface_coptimizations``.
"""
