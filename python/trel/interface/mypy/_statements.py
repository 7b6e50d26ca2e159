"""What an interface statement may hold, checked once its body is analysed.

At run time an interface's body describes attributes (``Attribute(...)``
or an annotation) and methods, written without ``self``; any other value
makes the class statement raise. Both mistakes are reported here, before
the program runs.
"""

from __future__ import annotations

from mypy.nodes import AssignmentStmt, CallExpr, Decorator, FuncDef, LambdaExpr, NameExpr, RefExpr, TempNode, TypeInfo
from mypy.plugin import ClassDefContext

from trel.interface.mypy._names import ATTRIBUTE, INTERFACE_STATEMENT, INVARIANT, is_interface

# What a class statement records of its own accord.
_OWN_NAMES = frozenset(("__doc__", "__module__", "__qualname__", "__slots__"))


def check_interface_body(ctx: ClassDefContext) -> None:
    info = ctx.cls.info
    if not is_interface(info):
        return
    for statement in ctx.cls.defs.body:
        function = statement.func if isinstance(statement, Decorator) else statement
        if isinstance(statement, Decorator) and any(
            isinstance(decorator, RefExpr) and decorator.fullname == INVARIANT
            for decorator in statement.original_decorators
        ):
            continue  # an invariant takes the object, under any name
        if isinstance(function, FuncDef) and function.arg_names[:1] == ["self"]:
            ctx.api.fail(
                f'Method "{function.name}" of interface "{info.name}" takes "self": an interface describes'
                " the call its user makes, without it",
                function,
                code=INTERFACE_STATEMENT,
            )
        elif isinstance(statement, AssignmentStmt) and not _describes(statement):
            names = [lvalue.name for lvalue in statement.lvalues if isinstance(lvalue, NameExpr)]
            if names and all(name in _OWN_NAMES for name in names):
                continue
            ctx.api.fail(
                f'Interface "{info.name}" describes attributes and methods only: give'
                f' "{", ".join(names) or "this"}" an Attribute(...) or an annotation, not a value',
                statement,
                code=INTERFACE_STATEMENT,
            )


def _describes(statement: AssignmentStmt) -> bool:
    value = statement.rvalue
    if isinstance(value, TempNode):
        return True  # an annotation alone
    if isinstance(value, LambdaExpr):
        return True  # a method
    if isinstance(value, CallExpr) and isinstance(value.callee, RefExpr):
        made = value.callee.node
        return isinstance(made, TypeInfo) and made.has_base(ATTRIBUTE)
    return False
