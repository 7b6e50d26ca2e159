"""Semantic analysis: interface statements, and what classes declare they implement.

An interface is a class to mypy (``Interface`` is made one when its
defining assignment is analysed), with ``InterfaceClass`` as its metaclass,
so the interface object's own methods (``providedBy``, ``names``...) are
found on it and it is accepted wherever an ``InterfaceClass`` is expected.
A class declared to implement interfaces is not given them as bases (it
would inherit their members and their metaclass): it is promoted to them,
so its instances are accepted where the interfaces are expected and keep
their own members.
"""

from __future__ import annotations

from mypy.mro import MroError, calculate_mro
from mypy.nodes import (
    GDEF,
    CallExpr,
    Decorator,
    Expression,
    ExpressionStmt,
    FuncDef,
    ListExpr,
    MemberExpr,
    MypyFile,
    NameExpr,
    OverloadedFuncDef,
    PlaceholderNode,
    Statement,
    SymbolTableNode,
    TupleExpr,
    TypeInfo,
)
from mypy.plugin import ClassDefContext, DynamicClassDefContext, SemanticAnalyzerPluginInterface
from mypy.semanal import SemanticAnalyzer
from mypy.types import Instance

from trel.interface.mypy._names import (
    CLASS_IMPLEMENTS,
    IMPLEMENTER,
    INTERFACE,
    INTERFACE_CLASS,
    INTERFACE_METACLASS,
    is_interface,
    mark_if_interface,
)


def define_interface(ctx: DynamicClassDefContext) -> None:
    """``I = InterfaceClass("I", (IBase, ...))``: an interface named ``I``.

    The root ``Interface`` is made this way too, with ``InterfaceClass`` as
    its metaclass, which every interface inherits."""
    api = ctx.api
    call = ctx.call
    made = api.lookup_qualified(ctx.name, call, suppress_errors=True)
    if made is not None and isinstance(made.node, TypeInfo) and is_interface(made.node):
        return  # made on an earlier pass over the module
    fullname = api.qualified_name(ctx.name)
    bases: list[TypeInfo] = []
    given = [arg for arg, name in zip(call.args[1:2], call.arg_names[1:2]) if name is None]
    given += [arg for arg, name in zip(call.args, call.arg_names) if name == "bases"]
    for listed in given:
        if not isinstance(listed, (TupleExpr, ListExpr)):
            return  # bases computed at run time: nothing to go on
        for item in listed.items:
            found = _lookup(api, item)
            if found is None or isinstance(found.node, PlaceholderNode):
                if not api.final_iteration:
                    api.defer()
                return
            if not isinstance(found.node, TypeInfo) or not is_interface(found.node):
                return
            bases.append(found.node)
    if fullname != INTERFACE and not bases:
        root = api.lookup_fully_qualified_or_none(INTERFACE)
        if root is None or not isinstance(root.node, TypeInfo):
            if not api.final_iteration:
                api.defer()
            return
        bases = [root.node]
    metaclass = api.named_type_or_none(INTERFACE_CLASS, [])
    if metaclass is None:
        if not api.final_iteration:
            api.defer()
        return
    if fullname == INTERFACE:
        metaclass = _interface_metaclass(api, metaclass, call.line)
    first = Instance(bases[0], []) if bases else api.named_type("builtins.object")
    info = api.basic_new_typeinfo(ctx.name, first, call.line)
    info.bases = [Instance(base, []) for base in bases] or [first]
    info.mro = []  # made for the first base only: made again for them all
    try:
        calculate_mro(info)
    except MroError:
        return
    if fullname == INTERFACE:
        info.declared_metaclass = metaclass
    info.metaclass_type = info.calculate_metaclass_type()
    mark_if_interface(info)
    api.add_symbol_table_node(ctx.name, SymbolTableNode(GDEF, info))


def _interface_metaclass(api: SemanticAnalyzerPluginInterface, interface_class: Instance, line: int) -> Instance:
    """The metaclass interfaces have to mypy: ``InterfaceClass``, and
    ``type`` after it, since mypy takes only classes of ``type`` for
    metaclasses (an interface is a class object to it)."""
    existing = api.lookup_fully_qualified_or_none(INTERFACE_METACLASS)
    if existing is not None and isinstance(existing.node, TypeInfo):
        return Instance(existing.node, [])
    name = INTERFACE_METACLASS.rpartition(".")[2]
    info = api.basic_new_typeinfo(name, interface_class, line)
    info.bases = [interface_class, api.named_type("builtins.type")]
    info.mro = []
    calculate_mro(info)
    api.add_symbol_table_node(name, SymbolTableNode(GDEF, info, plugin_generated=True))
    return Instance(info, [])


def prepare_class(ctx: ClassDefContext) -> None:
    """Runs once the bases of a class statement are known, before its body
    is analysed: an interface's methods are made static (they are written
    without ``self``), any other class is given the interfaces it declares."""
    info = ctx.cls.info
    if mark_if_interface(info):
        _prepare_interface_body(ctx)
    else:
        _declare_implemented(ctx)


def _prepare_interface_body(ctx: ClassDefContext) -> None:
    for statement in ctx.cls.defs.body:
        functions: list[FuncDef] = []
        if isinstance(statement, FuncDef):
            functions.append(statement)
        elif isinstance(statement, Decorator):
            functions.append(statement.func)
            statement.var.is_staticmethod = True
        elif isinstance(statement, OverloadedFuncDef):
            for item in statement.items:
                if isinstance(item, Decorator):
                    item.var.is_staticmethod = True
                    functions.append(item.func)
                elif isinstance(item, FuncDef):
                    functions.append(item)
        for function in functions:
            # The description of a call, never run: its body may be a
            # docstring alone whatever it is declared to return.
            function.is_static = True
            function.is_mypy_only = True


def _declare_implemented(ctx: ClassDefContext) -> None:
    api = ctx.api
    defn = ctx.cls
    listed: list[Expression] = []
    for decorator in defn.decorators:
        if isinstance(decorator, CallExpr) and _fullname(api, decorator.callee) in IMPLEMENTER:
            listed.extend(decorator.args)
    # classImplements(C, I, ...) statements at the top level of the module,
    # for a class defined there.
    module = api.cur_mod_node if isinstance(api, SemanticAnalyzer) else None
    if module is not None and defn.info.fullname == f"{module.fullname}.{defn.name}":
        for call in _calls_naming(module).get(defn.name, ()):
            if isinstance(call.callee, CallExpr):  # implementer(I, ...)(C)
                declaring = call.callee
                if _fullname(api, declaring.callee) in IMPLEMENTER:
                    listed.extend(declaring.args)
                    STATEMENT_DECLARATIONS[declaring] = defn.info
            elif _fullname(api, call.callee) in CLASS_IMPLEMENTS:
                listed.extend(call.args[1:])
    interfaces: list[TypeInfo] = []
    for expression in listed:
        found = _lookup(api, expression)
        if found is None or isinstance(found.node, PlaceholderNode):
            if found is not None and not api.final_iteration:
                api.defer()
            continue
        if isinstance(found.node, TypeInfo) and is_interface(found.node):
            interfaces.append(found.node)
    if not interfaces:
        return
    info = defn.info
    promoted = {promotion.type for promotion in info._promote if isinstance(promotion, Instance)}
    for interface in interfaces:
        if interface not in promoted:
            info._promote.append(Instance(interface, []))
            promoted.add(interface)


# Per module: the statements that may declare what a class implements,
# ``classImplements(C, ...)`` and ``implementer(...)(C)``, by the plain name
# of the class. Made once, not once per class.
_CALL_NAMES = frozenset(name.rpartition(".")[2] for name in CLASS_IMPLEMENTS | IMPLEMENTER)
_calls_by_module: dict[int, tuple[list[Statement], dict[str, list[CallExpr]]]] = {}

# ``implementer(...)`` calls made as statements, ``implementer(I)(C)``, and
# the class each declares for: the checker finds the class here when it
# reaches the call.
STATEMENT_DECLARATIONS: dict[CallExpr, TypeInfo] = {}


def _calls_naming(module: MypyFile) -> dict[str, list[CallExpr]]:
    known = _calls_by_module.get(id(module))
    if known is not None and known[0] is module.defs:
        return known[1]
    found: dict[str, list[CallExpr]] = {}
    for statement in module.defs:
        call = statement.expr if isinstance(statement, ExpressionStmt) else None
        if not isinstance(call, CallExpr) or not call.args or not isinstance(call.args[0], NameExpr):
            continue
        callee = call.callee
        if isinstance(callee, CallExpr) and len(call.args) == 1:
            callee = callee.callee
        name = callee.name if isinstance(callee, (NameExpr, MemberExpr)) else None
        if name in _CALL_NAMES:
            found.setdefault(call.args[0].name, []).append(call)
    _calls_by_module[id(module)] = (module.defs, found)
    return found


def _dotted(expression: Expression) -> str | None:
    """``a.b.c`` for a name or a chain of attributes of one; else None."""
    parts: list[str] = []
    while isinstance(expression, MemberExpr):
        parts.append(expression.name)
        expression = expression.expr
    if not isinstance(expression, NameExpr):
        return None
    parts.append(expression.name)
    return ".".join(reversed(parts))


def _lookup(api: SemanticAnalyzerPluginInterface, expression: Expression) -> SymbolTableNode | None:
    """What a (possibly dotted) name refers to, before the analyser reached it."""
    name = _dotted(expression)
    if name is None:
        return None
    return api.lookup_qualified(name, expression, suppress_errors=True)


def _fullname(api: SemanticAnalyzerPluginInterface, expression: Expression) -> str | None:
    found = _lookup(api, expression)
    if found is None or found.node is None:
        return None
    return found.node.fullname
