"""Checking that an object or class does what an interface describes.

``verifyObject(I, ob)`` and ``verifyClass(I, cls)`` return True or raise an
``Invalid``: ``DoesNotImplement`` when the declaration is missing,
``BrokenImplementation`` for a missing name, ``BrokenMethodImplementation``
for a method that refuses calls its description allows, and
``MultipleInvalid`` listing every problem when there are several.
"""

from __future__ import annotations

import inspect
import weakref
from types import FunctionType, MethodType
from typing import Any

from trel.interface.attribute import Method, SignatureInfo, incompatibility, signature_info, without_receiver
from trel.interface.exceptions import (
    BrokenImplementation,
    BrokenMethodImplementation,
    DoesNotImplement,
    Invalid,
    MultipleInvalid,
)
from trel.interface.interface import InterfaceClass

__all__ = ["verifyClass", "verifyObject"]

_MISSING = object()


def verifyObject(iface: InterfaceClass, candidate: object, tentative: bool = False) -> bool:
    """Check that ``candidate`` provides ``iface`` (unless ``tentative``),
    has every attribute and method ``iface`` and its bases describe, and
    that each method accepts every call its description allows."""
    return _verify(iface, candidate, tentative, is_class=False)


def verifyClass(iface: InterfaceClass, candidate: type, tentative: bool = False) -> bool:
    """Check that ``candidate`` implements ``iface`` (unless ``tentative``)
    and that every method ``iface`` and its bases describe is defined and
    accepts every call its description allows. Attributes are not checked:
    instances usually set them."""
    return _verify(iface, candidate, tentative, is_class=True)


def _verify(iface: InterfaceClass, candidate: Any, tentative: bool, is_class: bool) -> bool:
    if not isinstance(iface, InterfaceClass):
        raise TypeError(f"iface must be an interface, not {iface!r}")
    if is_class and not callable(candidate):
        raise TypeError(f"verifyClass() cls must be a class or a callable, not {candidate!r}")
    problems: list[Invalid] = []
    if not tentative:
        declared = iface.implementedBy(candidate) if is_class else iface.providedBy(candidate)
        if not declared:
            problems.append(DoesNotImplement(iface, candidate))
    for name, description in iface.namesAndDescriptions(all=True):
        problem = _check_name(iface, candidate, name, description, is_class)
        if problem is not None:
            problems.append(problem)
    if len(problems) == 1:
        raise problems[0]
    if problems:
        raise MultipleInvalid(iface, candidate, problems)
    return True


def _check_name(
    iface: InterfaceClass, candidate: Any, name: str, description: object, is_class: bool
) -> Invalid | None:
    if is_class and not isinstance(description, Method):
        return None  # attributes are set on instances
    try:
        attribute = getattr(candidate, name)
    except Exception:  # any failure to read it is its absence
        attribute = _MISSING
    if attribute is _MISSING:
        return BrokenImplementation(iface, name, candidate)
    if not isinstance(description, Method):
        return None
    if not callable(attribute):
        return BrokenMethodImplementation(description, "it is not callable", attribute, iface, candidate)
    implemented = _accepted(candidate, name, attribute, is_class)
    if implemented is None:
        return None  # a built-in whose signature cannot be read: accepted
    message = incompatibility(description._signature_info(), implemented)
    if message is None:
        return None
    return BrokenMethodImplementation(description, message, attribute, iface, candidate)


# What each function accepts, read once: reading a signature costs more than
# the rest of a verification. Kept with what it was read from, so a function
# given new defaults or code is read again.
_function_infos: weakref.WeakKeyDictionary[
    FunctionType, tuple[tuple[object, ...], SignatureInfo, SignatureInfo]
] = weakref.WeakKeyDictionary()


def _function_info(function: FunctionType, bound: bool) -> SignatureInfo:
    """What ``function`` accepts; with ``bound``, as a method of an instance."""
    key = (
        function.__code__,
        function.__defaults__,
        function.__kwdefaults__,
        getattr(function, "__signature__", None),
        getattr(function, "__wrapped__", None),
    )
    known = _function_infos.get(function)
    if known is None or known[0] != key:
        info = signature_info(inspect.signature(function))
        known = _function_infos[function] = (key, info, without_receiver(info))
    return known[2] if bound else known[1]


def _accepted(candidate: Any, name: str, attribute: Any, is_class: bool) -> SignatureInfo | None:
    """The calls ``attribute`` accepts as a method of the object (or of the
    class's instances), or None when its signature cannot be read."""
    target, bound = attribute, False
    if is_class:
        # Read through the class, a plain function (or a built-in method
        # descriptor) still has the instance to receive first.
        raw = inspect.getattr_static(candidate, name, None)
        unbound = inspect.isfunction(raw) or inspect.ismethoddescriptor(raw)
        bound = unbound and not isinstance(raw, (staticmethod, classmethod))
    elif isinstance(attribute, MethodType) and isinstance(attribute.__func__, FunctionType):
        target, bound = attribute.__func__, True
    if isinstance(target, FunctionType):
        return _function_info(target, bound)
    try:
        signature = inspect.signature(target)
    except (TypeError, ValueError):
        return None
    info = signature_info(signature)
    return without_receiver(info) if bound else info
