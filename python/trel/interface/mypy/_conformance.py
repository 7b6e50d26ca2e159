"""Whether a class does what an interface it declares describes.

The same judgement as ``verifyClass`` at run time (``incompatibility``
from ``trel.interface.attribute`` is shared): every method the interface
and its bases describe must be defined and accept every call the
description allows. Where both are annotated, the types are compared too,
which run time cannot do.
"""

from __future__ import annotations

from collections.abc import Iterator

from mypy.erasetype import erase_typevars
from mypy.messages import format_type
from mypy.nodes import (
    ARG_NAMED,
    ARG_OPT,
    ARG_POS,
    ARG_STAR,
    ARG_STAR2,
    Decorator,
    FuncDef,
    OverloadedFuncDef,
    RefExpr,
    SymbolNode,
    TypeInfo,
    Var,
)
from mypy.options import Options
from mypy.subtypes import is_subtype
from mypy.types import AnyType, CallableType, Instance, NoneType, get_proper_type

from trel.interface.attribute import SignatureInfo, empty_signature_info, incompatibility, without_receiver
from trel.interface.mypy._names import INVARIANT


def problems(cls: TypeInfo, interface: TypeInfo, options: Options) -> list[str]:
    """What is wrong with ``cls`` as an implementation of ``interface``, one
    message per method; empty when nothing is."""
    if cls.fallback_to_any:
        return []  # a base of unknown type may define anything
    found: list[str] = []
    for name, described in _described_methods(interface):
        problem = _problem(cls, name, described, options)
        if problem is not None:
            found.append(f'Class "{cls.name}" does not implement interface "{interface.name}": {problem}')
    return found


def _described_methods(interface: TypeInfo) -> Iterator[tuple[str, FuncDef]]:
    """The methods ``interface`` and its bases describe, each name once, as
    described by the most specific interface."""
    seen: set[str] = set()
    for base in interface.mro:
        if base.fullname == "builtins.object":
            continue  # an interface's other bases are all interfaces
        for name, symbol in base.names.items():
            if name in seen:
                continue
            seen.add(name)
            node = symbol.node
            if isinstance(node, FuncDef):
                yield name, node
            elif isinstance(node, Decorator) and not _is_invariant(node):
                yield name, node.func
            elif isinstance(node, OverloadedFuncDef) and node.items:
                first = node.items[0]
                yield name, first.func if isinstance(first, Decorator) else first


def _is_invariant(node: Decorator) -> bool:
    return any(isinstance(d, RefExpr) and d.fullname == INVARIANT for d in node.original_decorators)


def _member(cls: TypeInfo, name: str) -> SymbolNode | None:
    for base in cls.mro:
        symbol = base.names.get(name)
        if symbol is not None and symbol.node is not None:
            return symbol.node
    return None


def _problem(cls: TypeInfo, name: str, described: FuncDef, options: Options) -> str | None:
    node = _member(cls, name)
    if node is None:
        return f'method "{name}" is missing'
    if isinstance(node, Var):
        kind = get_proper_type(node.type) if node.type is not None else None
        if kind is None or isinstance(kind, (AnyType, CallableType)):
            return None
        if isinstance(kind, NoneType) or (isinstance(kind, Instance) and kind.type.get("__call__") is None):
            return f'"{name}" is not callable'
        return None
    function: FuncDef | None = None
    bound = True
    if isinstance(node, FuncDef):
        function, bound = node, not node.is_static
    elif isinstance(node, Decorator):
        plain = all(
            isinstance(d, RefExpr) and d.fullname in ("builtins.staticmethod", "builtins.classmethod")
            for d in node.original_decorators
        )
        if plain:
            function, bound = node.func, not node.func.is_static
    if function is None:
        return None  # overloaded or decorated: what it accepts is not read here
    message = incompatibility(_calls(described, False), _calls(function, bound))
    if message is not None:
        return f'method "{name}" does not accept every call the interface allows: {message}'
    return _type_problem(cls, name, described, function, bound, options)


def _calls(function: FuncDef, bound: bool) -> SignatureInfo:
    """The calls ``function`` accepts, as run-time verification reads them."""
    info = empty_signature_info()
    # Names and kinds, not the arguments themselves: a definition read back
    # from mypy's cache has only these. A positional-only one has no name.
    for index, (name, kind) in enumerate(zip(function.arg_names, function.arg_kinds)):
        if kind in (ARG_POS, ARG_OPT):
            if name is None:
                name = f"__{index}"
                info["positional_only"].append(name)
            info["positional"].append(name)
            if kind == ARG_POS:
                info["required"].append(name)
            else:
                info["optional"][name] = None
        elif kind == ARG_STAR:
            info["varargs"] = name or "args"
        elif kind == ARG_STAR2:
            info["kwargs"] = name or "kwargs"
        elif name is not None:
            info["keyword_only"].append(name)
            if kind == ARG_NAMED:
                info["keyword_required"].append(name)
            else:
                info["optional"][name] = None
    return without_receiver(info) if bound else info


def _type_problem(
    cls: TypeInfo, name: str, described: FuncDef, function: FuncDef, bound: bool, options: Options
) -> str | None:
    expected, actual = described.type, function.type
    if not isinstance(expected, CallableType) or not isinstance(actual, CallableType):
        return None  # one side unannotated: nothing to compare
    if bound and actual.arg_types:
        actual = actual.copy_modified(
            arg_types=actual.arg_types[1:], arg_kinds=actual.arg_kinds[1:], arg_names=actual.arg_names[1:]
        )
    # A generic class implements the interface whatever it is parametrised with.
    class_variables = [variable.id for variable in cls.defn.type_vars]
    if class_variables:
        erased = erase_typevars(actual, class_variables)
        if isinstance(erased, CallableType):
            actual = erased
    if is_subtype(actual, expected):
        return None
    return (
        f'method "{name}" has type {format_type(actual, options)},'
        f" the interface describes {format_type(expected, options)}"
    )
