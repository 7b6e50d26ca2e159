"""Type checking: what adapting and querying give, and narrowing by ``providedBy``."""

from __future__ import annotations

from mypy.checker import TypeChecker
from mypy.erasetype import remove_instance_last_known_values
from mypy.nodes import ARG_OPT, ARG_POS, CallExpr, Expression, RefExpr, TypeInfo
from mypy.plugin import FunctionContext, FunctionSigContext, MethodContext, MethodSigContext
from mypy.typeops import make_simplified_union
from mypy.types import (
    AnyType,
    CallableType,
    FunctionLike,
    Instance,
    NoneType,
    Overloaded,
    TupleType,
    Type,
    TypeOfAny,
    TypeType,
)
from mypy.types import get_proper_type as proper

from trel.interface.mypy._conformance import problems
from trel.interface.mypy._names import IMPLEMENTS, NOT_A_CLASS, is_interface
from trel.interface.mypy._semantic import STATEMENT_DECLARATIONS


def interface_instance(info: TypeInfo) -> Instance:
    """An object that provides the interface ``info``."""
    return Instance(info, [AnyType(TypeOfAny.special_form)] * len(info.type_vars))


def named_interface(argument: Type) -> Instance | None:
    """The interface an argument names (``I``, or a ``type[I]`` value), if any."""
    found = proper(argument)
    info: TypeInfo | None = None
    if isinstance(found, (CallableType, Overloaded)) and found.is_type_obj():
        info = found.type_object()
    elif isinstance(found, TypeType) and isinstance(found.item, Instance):
        info = found.item.type
    if info is None or not is_interface(info):
        return None
    return interface_instance(info)


def adaptation_signature(info: TypeInfo, ctx: FunctionSigContext) -> FunctionLike:
    """``I(ob)`` and ``I(ob, alternate)``: calling an interface adapts."""
    return CallableType(
        [ctx.api.named_generic_type("builtins.object", []), AnyType(TypeOfAny.special_form)],
        [ARG_POS, ARG_OPT],
        ["obj", "alternate"],
        interface_instance(info),
        ctx.api.named_generic_type("builtins.function", []),
        name=info.name,
    )


def adaptation_result(info: TypeInfo, ctx: FunctionContext) -> Type:
    """``I``, or with an alternate ``I | type of the alternate``."""
    result: Type = interface_instance(info)
    if len(ctx.arg_types) > 1 and ctx.arg_types[1]:
        result = make_simplified_union([result, remove_instance_last_known_values(ctx.arg_types[1][0])])
    return result


def query_result(ctx: FunctionContext | MethodContext, *, optional: bool) -> Type:
    """A lookup's result typed by the interface passed as ``provided``:
    ``I``, or for a query ``I | None`` (``I | type of default`` when a
    default is passed)."""
    names = ctx.callee_arg_names
    if "provided" not in names:
        return ctx.default_return_type
    given = ctx.arg_types[names.index("provided")]
    interface = named_interface(given[0]) if given else None
    if interface is None:
        return ctx.default_return_type
    if not optional:
        return interface
    default = ctx.arg_types[names.index("default")] if "default" in names else []
    alternative = remove_instance_last_known_values(default[0]) if default else NoneType()
    return make_simplified_union([interface, alternative])


def narrowing_signature(info: TypeInfo, ctx: MethodSigContext) -> FunctionLike:
    """``I.providedBy(ob)`` returns a bool that, when true, says ``ob`` provides ``I``.

    A class named directly is left as it is: the class object may provide
    ``I`` (``provider``, ``directlyProvides``), but it is still the class."""
    signature = ctx.default_signature
    named = [argument for group in ctx.args for argument in group]
    if len(named) == 1 and isinstance(named[0], RefExpr) and isinstance(named[0].node, TypeInfo):
        return signature
    if not isinstance(signature, CallableType):
        return signature  # overloaded: not the core's providedBy
    return signature.copy_modified(
        ret_type=ctx.api.named_generic_type("builtins.bool", []), type_guard=interface_instance(info)
    )


def attribute_result(ctx: FunctionContext) -> Type:
    """``Attribute(...)`` in an interface's body describes a value of any
    type; an annotation gives it one."""
    checker = ctx.api
    if isinstance(checker, TypeChecker):
        cls = checker.scope.active_class()
        if cls is not None and is_interface(cls):
            return AnyType(TypeOfAny.special_form)
    return ctx.default_return_type


def check_class_implements(ctx: FunctionContext) -> Type:
    """``classImplements(C, I, ...)``: C is checked against each I here."""
    if not ctx.args or not ctx.args[0]:
        return ctx.default_return_type
    target = ctx.args[0][0]
    if isinstance(target, RefExpr) and isinstance(target.node, TypeInfo) and isinstance(ctx.api, TypeChecker):
        _report(ctx, target.node, [expression for group in ctx.args[1:] for expression in group])
    return ctx.default_return_type


def _report(ctx: FunctionContext, cls: TypeInfo, interfaces: list[Expression]) -> None:
    assert isinstance(ctx.api, TypeChecker)
    for expression in interfaces:
        named = expression.node if isinstance(expression, RefExpr) else None
        if isinstance(named, TypeInfo) and is_interface(named):
            for message in problems(cls, named, ctx.api.options):
                ctx.api.fail(message, ctx.context, code=IMPLEMENTS)


def check_class_test(ctx: FunctionContext) -> Type:
    """``isinstance(ob, I)`` and ``issubclass(C, I)`` do not ask what they
    seem to: an interface is not a class, and both answer False even for
    what provides it. ``I.providedBy`` and ``I.implementedBy`` ask."""
    if len(ctx.arg_types) > 1 and ctx.arg_types[1]:
        given = proper(ctx.arg_types[1][0])
        items = given.items if isinstance(given, TupleType) else [given]
        for item in items:
            interface = named_interface(item)
            if interface is not None:
                name = interface.type.name
                ctx.api.fail(
                    f'"{name}" is an interface, not a class: ask {name}.providedBy(ob) or {name}.implementedBy(cls)',
                    ctx.context,
                    code=NOT_A_CLASS,
                )
    return ctx.default_return_type


def check_implementer_statement(ctx: FunctionContext) -> Type:
    """``implementer(I, ...)(C)`` as a statement: C is checked against each I
    here. As a decorator, the call is checked with its class."""
    cls = STATEMENT_DECLARATIONS.get(ctx.context) if isinstance(ctx.context, CallExpr) else None
    if cls is not None and isinstance(ctx.api, TypeChecker):
        _report(ctx, cls, [expression for group in ctx.args for expression in group])
    return ctx.default_return_type
