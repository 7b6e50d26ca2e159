"""Resolution orders: C3 linearisation, with a depth-first fallback.

Specifications and registries both order an object before its bases, each
base before the bases it shares with later ones, and every object exactly
once. Where the bases admit no consistent C3 order, the depth-first order
that keeps each object's last occurrence is used instead, so declaring
bases in an unusual order never makes a declaration fail.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import TypeVar

T = TypeVar("T")


def resolution_order(ob: T, bases_of: Callable[[T], Sequence[T]]) -> list[T]:
    """``ob`` followed by its bases, most specific first."""
    bases = bases_of(ob)
    if not bases:
        return [ob]
    sequences = [resolution_order(base, bases_of) for base in bases]
    merged = _merge([list(sequence) for sequence in sequences] + [list(bases)])
    if merged is None:
        return _depth_first(ob, bases_of)
    return [ob, *merged]


def _merge(sequences: list[list[T]]) -> list[T] | None:
    result: list[T] = []
    while True:
        sequences = [sequence for sequence in sequences if sequence]
        if not sequences:
            return result
        for sequence in sequences:
            head = sequence[0]
            if not any(head in other[1:] for other in sequences):
                break
        else:
            return None
        result.append(head)
        for sequence in sequences:
            if sequence[0] is head:
                del sequence[0]


def _depth_first(ob: T, bases_of: Callable[[T], Sequence[T]]) -> list[T]:
    order: list[T] = []

    def walk(node: T) -> None:
        order.append(node)
        for base in bases_of(node):
            walk(base)

    walk(ob)
    seen: set[int] = set()
    kept: list[T] = []
    for node in reversed(order):
        if id(node) not in seen:
            seen.add(id(node))
            kept.append(node)
    kept.reverse()
    return kept
