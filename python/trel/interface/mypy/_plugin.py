"""The plugin object: which hook answers for which name."""

from __future__ import annotations

import hashlib
from collections.abc import Callable
from functools import partial
from pathlib import Path

from mypy.nodes import RefExpr, TypeInfo
from mypy.options import Options
from mypy.plugin import (
    ClassDefContext,
    DynamicClassDefContext,
    FunctionContext,
    FunctionSigContext,
    MethodContext,
    MethodSigContext,
    Plugin,
    ReportConfigContext,
)
from mypy.types import FunctionLike, Type

from trel.interface.mypy import _results, _semantic, _statements
from trel.interface.mypy._conformance import problems
from trel.interface.mypy._names import (
    ATTRIBUTE,
    CLASS_IMPLEMENTS,
    COMPONENT_PACKAGE,
    IMPLEMENTER,
    IMPLEMENTS,
    INTERFACE_CLASS,
    REGISTRY,
    is_interface,
)

# Lookups typed by the interface they are asked for: name -> whether the
# answer may be missing (a query) rather than raise (a get).
_REGISTRY_QUERIES = {"queryAdapter": True, "adapter_hook": True, "queryMultiAdapter": True}
_COMPONENT_LOOKUPS = {
    "getUtility": False,
    "queryUtility": True,
    "getAdapter": False,
    "queryAdapter": True,
    "getMultiAdapter": False,
    "queryMultiAdapter": True,
}


def _sources_digest() -> str:
    """A digest of the code the plugin runs: mypy keeps it with each cached
    module, so results cached by another version of the plugin are not reused."""
    digest = hashlib.sha256()
    import trel.interface.attribute as shared

    for path in [*sorted(Path(__file__).parent.glob("*.py")), Path(shared.__file__)]:
        digest.update(path.read_bytes())
    return digest.hexdigest()[:16]


class InterfacePlugin(Plugin):
    """Interfaces, their declarations, adaptation and narrowing, for mypy."""

    def __init__(self, options: Options) -> None:
        super().__init__(options)
        self._digest = _sources_digest()

    def report_config_data(self, ctx: ReportConfigContext) -> str:
        return self._digest

    def _interface(self, fullname: str) -> TypeInfo | None:
        found = self.lookup_fully_qualified(fullname)
        if found is not None and isinstance(found.node, TypeInfo) and is_interface(found.node):
            return found.node
        return None

    def get_dynamic_class_hook(self, fullname: str) -> Callable[[DynamicClassDefContext], None] | None:
        return _semantic.define_interface if fullname == INTERFACE_CLASS else None

    def get_customize_class_mro_hook(self, fullname: str) -> Callable[[ClassDefContext], None] | None:
        return _semantic.prepare_class

    def get_base_class_hook(self, fullname: str) -> Callable[[ClassDefContext], None] | None:
        return _statements.check_interface_body

    def get_class_decorator_hook_2(self, fullname: str) -> Callable[[ClassDefContext], bool] | None:
        return _check_implementer if fullname in IMPLEMENTER else None

    def get_function_signature_hook(self, fullname: str) -> Callable[[FunctionSigContext], FunctionLike] | None:
        interface = self._interface(fullname)
        return None if interface is None else partial(_results.adaptation_signature, interface)

    def get_function_hook(self, fullname: str) -> Callable[[FunctionContext], Type] | None:
        if fullname == ATTRIBUTE:
            return _results.attribute_result
        if fullname in CLASS_IMPLEMENTS:
            return _results.check_class_implements
        if fullname in IMPLEMENTER:
            return _results.check_implementer_statement
        if fullname in ("builtins.isinstance", "builtins.issubclass"):
            return _results.check_class_test
        module, _, name = fullname.rpartition(".")
        if _in_component_layer(module) and name in _COMPONENT_LOOKUPS:
            return partial(_results.query_result, optional=_COMPONENT_LOOKUPS[name])
        interface = self._interface(fullname)
        return None if interface is None else partial(_results.adaptation_result, interface)

    def get_method_signature_hook(self, fullname: str) -> Callable[[MethodSigContext], FunctionLike] | None:
        owner, _, name = fullname.rpartition(".")
        if name != "providedBy":
            return None
        interface = self._interface(owner)
        return None if interface is None else partial(_results.narrowing_signature, interface)

    def get_method_hook(self, fullname: str) -> Callable[[MethodContext], Type] | None:
        # Named by the class of the object the method is called on, which
        # may be a subclass of the registry defined anywhere.
        owner, _, name = fullname.rpartition(".")
        if name not in _REGISTRY_QUERIES and name not in _COMPONENT_LOOKUPS:
            return None
        found = self.lookup_fully_qualified(owner)
        bases = found.node.mro if found is not None and isinstance(found.node, TypeInfo) else []
        if name in _REGISTRY_QUERIES and any(base.fullname == REGISTRY for base in bases):
            return partial(_results.query_result, optional=_REGISTRY_QUERIES[name])
        if name in _COMPONENT_LOOKUPS and any(_in_component_layer(base.module_name) for base in bases):
            return partial(_results.query_result, optional=_COMPONENT_LOOKUPS[name])
        return None


def _in_component_layer(fullname: str) -> bool:
    return fullname == COMPONENT_PACKAGE or fullname.startswith(COMPONENT_PACKAGE + ".")


def _check_implementer(ctx: ClassDefContext) -> bool:
    """``@implementer(I, ...)``: the class is checked against each I, at the decorator."""
    reason = ctx.reason
    for expression in getattr(reason, "args", ()):
        if isinstance(expression, RefExpr) and isinstance(expression.node, TypeInfo) and is_interface(expression.node):
            for message in problems(ctx.cls.info, expression.node, ctx.api.options):
                ctx.api.fail(message, reason, code=IMPLEMENTS)
    return True
