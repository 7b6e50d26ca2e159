"""What an interface says about one name: an attribute, or a method and
the calls it accepts.

An interface's methods are written without ``self``: they describe the
call as the user of a providing object makes it.
"""

from __future__ import annotations

import inspect
from collections.abc import Callable
from typing import TYPE_CHECKING, Any, TypedDict, cast

if TYPE_CHECKING:
    from trel.interface.interface import InterfaceClass

__all__ = ["Attribute", "Method", "SignatureInfo", "incompatibility", "signature_info", "without_receiver"]


class SignatureInfo(TypedDict):
    """The calls a callable accepts, as ``Method.getSignatureInfo`` gives them."""

    positional: list[str]  # every parameter that can be passed by position, in order
    positional_only: list[str]  # those of them that cannot be passed by keyword
    required: list[str]  # the positional ones without a default
    optional: dict[str, Any]  # name -> default, positional and keyword-only alike
    keyword_only: list[str]  # parameters only passed by keyword, in order
    keyword_required: list[str]  # those of them without a default
    varargs: str | None  # the name of *args, if any
    kwargs: str | None  # the name of **kw, if any


def empty_signature_info() -> SignatureInfo:
    """A ``SignatureInfo`` of no parameters, to be filled in."""
    return SignatureInfo(
        positional=[],
        positional_only=[],
        required=[],
        optional={},
        keyword_only=[],
        keyword_required=[],
        varargs=None,
        kwargs=None,
    )


def signature_info(signature: inspect.Signature) -> SignatureInfo:
    """Describe ``signature`` as a ``SignatureInfo``."""
    info = empty_signature_info()
    for parameter in signature.parameters.values():
        kind, name, default = parameter.kind, parameter.name, parameter.default
        if kind in (parameter.POSITIONAL_ONLY, parameter.POSITIONAL_OR_KEYWORD):
            info["positional"].append(name)
            if kind is parameter.POSITIONAL_ONLY:
                info["positional_only"].append(name)
            if default is parameter.empty:
                info["required"].append(name)
            else:
                info["optional"][name] = default
        elif kind is parameter.KEYWORD_ONLY:
            info["keyword_only"].append(name)
            if default is parameter.empty:
                info["keyword_required"].append(name)
            else:
                info["optional"][name] = default
        elif kind is parameter.VAR_POSITIONAL:
            info["varargs"] = name
        else:
            info["kwargs"] = name
    return info


def without_receiver(info: SignatureInfo) -> SignatureInfo:
    """``info`` for the callable bound to its first positional parameter,
    as a method is to its instance."""
    if not info["positional"]:
        return info
    first = info["positional"][0]
    optional = dict(info["optional"])
    optional.pop(first, None)
    return SignatureInfo(
        positional=info["positional"][1:],
        positional_only=[name for name in info["positional_only"] if name != first],
        required=[name for name in info["required"] if name != first],
        optional=optional,
        keyword_only=info["keyword_only"],
        keyword_required=info["keyword_required"],
        varargs=info["varargs"],
        kwargs=info["kwargs"],
    )


def incompatibility(described: SignatureInfo, implemented: SignatureInfo) -> str | None:
    """What call the description allows that the implementation refuses, in
    words (``"it takes fewer positional arguments"``), or None when it
    accepts every one. Run-time verification and the type checker's plugin
    both judge implementations with it, so they agree on what is broken."""
    if implemented["varargs"] is None:
        if len(implemented["positional"]) < len(described["positional"]):
            return "it takes fewer positional arguments"
        if described["varargs"] is not None:
            return "it does not accept variable positional arguments (*args)"
    # Required parameters beyond the described ones are refused, unless the
    # description requires each of them by keyword and it can be passed so.
    for name in implemented["required"][len(described["required"]) :]:
        if name not in described["keyword_required"] or name in implemented["positional_only"]:
            return "it requires more positional arguments"
    if described["kwargs"] is not None and implemented["kwargs"] is None:
        return "it does not accept arbitrary keyword arguments (**kwargs)"
    by_keyword = set(implemented["keyword_only"]) | {
        name for name in implemented["positional"] if name not in implemented["positional_only"]
    }
    for name in described["keyword_only"]:
        if name not in by_keyword and implemented["kwargs"] is None:
            return f"it does not accept the keyword argument {name!r}"
    for name in implemented["keyword_required"]:
        if name not in described["keyword_required"]:
            return f"it requires the keyword argument {name!r}"
    return None


class Attribute:
    """An attribute an interface describes: ``name = Attribute("What it is.")``.

    Once the interface is made, ``__name__`` is the name it was given there
    and ``interface`` the interface that describes it.
    """

    def __init__(self, doc: str = "") -> None:
        if not isinstance(doc, str):
            raise TypeError(f"doc must be a str, not {type(doc).__name__}")
        self.__doc__ = doc
        self.__name__: str | None = None
        self.interface: InterfaceClass | None = None

    def getName(self) -> str | None:
        """The name the interface gives this attribute."""
        return self.__name__

    def getDoc(self) -> str:
        """What the interface says about it."""
        return self.__doc__ or ""

    def _owner(self) -> str:
        interface = self.interface
        return "?" if interface is None else f"{interface.__ibmodule__}.{interface.__name__}"

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self._owner()}.{self.__name__}>"

    def __reduce__(self) -> Any:
        # Descriptions belong to their interface: they pickle as a lookup in it.
        if self.interface is None or self.__name__ is None:
            return super().__reduce__()
        return _direct_description, (self.interface, self.__name__)


class Method(Attribute):
    """A method an interface describes, with the calls it accepts.

    Made from each function in an interface's class statement; the
    function's parameters, written without ``self``, are the contract.
    """

    def __init__(self, function: Callable[..., object]) -> None:
        if not callable(function):
            raise TypeError(f"function must be callable, not {function!r}")
        super().__init__(function.__doc__ or "")
        self.function = function
        # Read on first use: most interfaces are defined far more often
        # than their signatures are asked about.
        self._info: SignatureInfo | None = None
        self._text = ""

    def _signature_info(self) -> SignatureInfo:
        """The description, shared: callers must not change it."""
        info = self._info
        if info is None:
            signature = inspect.signature(self.function)
            self._text = str(signature)
            info = self._info = signature_info(signature)
        return info

    def getSignatureInfo(self) -> SignatureInfo:
        """The parameters: ``positional`` (names, in order), ``required``
        (the positional ones without defaults), ``optional`` (name ->
        default), ``varargs`` and ``kwargs`` (names or None), and the
        ``positional_only``, ``keyword_only`` and ``keyword_required`` names.

        A new dict each time, so callers may change it.
        """
        info = self._signature_info()
        return cast(SignatureInfo, {key: value.copy() if isinstance(value, (list, dict)) else value
                                    for key, value in info.items()})

    def getSignatureString(self) -> str:
        """The parameter list as written, e.g. ``(a, b=1, *args, **kw)``."""
        self._signature_info()
        return self._text

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self._owner()}.{self.__name__}{self.getSignatureString()}>"


def _direct_description(interface: InterfaceClass, name: str) -> Attribute | None:
    return interface.direct(name)
