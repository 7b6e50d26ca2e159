"""Implementations that do, or do not, do what an interface describes.

One table for both judges: run-time verification (``verifyClass``, in
``test_mismatches.py``) and the type checker's plugin (the corpus runner,
``tools/typecheck_corpus.py``, makes a program of it and expects mypy to
report exactly the broken rows, at their declarations). Each row is an
interface method as described, the class body that implements it, and what
is wrong: ``None`` for nothing, ``MISSING`` for no such method, or the
reason both report.
"""

MISSING = "missing"
NOT_CALLABLE = "it is not callable"

# (label, the interface's method, the implementing class's body, what is wrong)
MISMATCHES = [
    ("same", "def m(a: int) -> int: ...", "def m(self, a: int) -> int: return a", None),
    ("wider", "def m(a: int) -> int: ...", "def m(self, a: int, b: int = 0, *c: int, **d: int) -> int: return a", None),
    ("catch_all", "def m(a: int, *, k: int) -> None: ...", "def m(self, *args: int, **kw: int) -> None: pass", None),
    ("static", "def m(a: int) -> int: ...", "@staticmethod\n    def m(a: int) -> int: return a", None),
    ("class_method", "def m(a: int) -> int: ...", "@classmethod\n    def m(cls, a: int) -> int: return a", None),
    ("positional_only", "def m(a: int, /) -> int: ...", "def m(self, x: int, /) -> int: return x", None),
    ("keyword_by_position", "def m(*, key: int) -> None: ...", "def m(self, key: int) -> None: pass", None),
    ("missing", "def m() -> None: ...", "def other(self) -> None: pass", MISSING),
    (
        "fewer_positional",
        "def m(a: int, b: int) -> None: ...",
        "def m(self, a: int) -> None: pass",
        "it takes fewer positional arguments",
    ),
    (
        "more_required",
        "def m(a: int) -> None: ...",
        "def m(self, a: int, b: int) -> None: pass",
        "it requires more positional arguments",
    ),
    (
        "no_varargs",
        "def m(*args: int) -> None: ...",
        "def m(self) -> None: pass",
        "it does not accept variable positional arguments (*args)",
    ),
    (
        "no_kwargs",
        "def m(**kw: int) -> None: ...",
        "def m(self) -> None: pass",
        "it does not accept arbitrary keyword arguments (**kwargs)",
    ),
    (
        "no_keyword",
        "def m(*, key: int) -> None: ...",
        "def m(self) -> None: pass",
        "it does not accept the keyword argument 'key'",
    ),
    (
        "keyword_only_not_positional",
        "def m(*, key: int) -> None: ...",
        "def m(self, key: int = 0, /) -> None: pass",
        "it does not accept the keyword argument 'key'",
    ),
    (
        "extra_required_keyword",
        "def m() -> None: ...",
        "def m(self, *, key: int) -> None: pass",
        "it requires the keyword argument 'key'",
    ),
    ("not_callable", "def m() -> None: ...", "m = 3", NOT_CALLABLE),
]
