"""Resolution orders: C3 linearisation, with a depth-first fallback.

Specifications and registries both order an object before its bases, each
base before the bases it shares with later ones, and every object exactly
once. Where the bases admit no consistent C3 order, the depth-first order
that keeps each object's last occurrence is used instead, so declaring
bases in an unusual order never makes a declaration fail.

An object's order is merged from the orders its bases already have, so
building a hierarchy costs time polynomial in its size whatever its shape,
and nothing here recurses: hierarchies thousands of levels deep work.
"""

from __future__ import annotations

from collections.abc import Callable, Iterable, Iterator, Sequence
from typing import TypeVar, cast

from trel.interface._core import speedups

T = TypeVar("T")


def resolution_order(ob: T, bases_of: Callable[[T], Sequence[T]], order_of: Callable[[T], Sequence[T]]) -> list[T]:
    """``ob`` followed by its bases, most specific first.

    ``order_of(base)`` is the resolution order each base already has; the
    result is merged from those and the bases themselves.
    """
    bases = bases_of(ob)
    if not bases:
        return [ob]
    if len(bases) == 1:
        # The merge of one base's order (which starts with the base) and
        # the base itself is that order.
        return [ob, *order_of(bases[0])]
    merged = _c3_merge([order_of(base) for base in bases] + [bases])
    if merged is None:
        return _depth_first(ob, bases_of)
    return [ob, *merged]


def _merge(sequences: list[Sequence[T]]) -> list[T] | None:
    """The C3 merge of ``sequences``, or None where they admit no order.

    Each sequence is read through a position instead of being copied and
    shortened, and a count of the places where each object stands after the
    head of some sequence tells at once whether it may come next.
    """
    positions = [0] * len(sequences)
    in_tails: dict[int, int] = {}
    for sequence in sequences:
        for item in sequence[1:]:
            in_tails[id(item)] = in_tails.get(id(item), 0) + 1
    result: list[T] = []
    live = [i for i, sequence in enumerate(sequences) if sequence]
    while live:
        for i in live:
            head = sequences[i][positions[i]]
            if not in_tails.get(id(head)):
                break
        else:
            return None
        result.append(head)
        still_live = []
        for i in live:
            sequence = sequences[i]
            if sequence[positions[i]] is head:
                positions[i] += 1
                if positions[i] < len(sequence):
                    # The next item leaves this sequence's tail for its head.
                    in_tails[id(sequence[positions[i]])] -= 1
            if positions[i] < len(sequence):
                still_live.append(i)
        live = still_live
    return result


# The same merge in C++, with the C++ core.
_c3_merge: Callable[[list[Sequence[T]]], list[T] | None] = (
    cast("Callable[[list[Sequence[T]]], list[T] | None]", speedups.c3_merge) if speedups is not None else _merge
)


def _depth_first(ob: T, bases_of: Callable[[T], Sequence[T]]) -> list[T]:
    """The depth-first order of ``ob`` and its bases, each at its last place.

    Keeping last places commutes with concatenation, so each object's order
    is ``ob`` before its bases' orders, run together with last places kept;
    every object below ``ob`` is visited once, bases before the objects
    built on them.
    """
    orders: dict[int, list[T]] = {}
    for node in _bases_first(ob, bases_of):
        combined = [node]
        for base in bases_of(node):
            combined.extend(orders[id(base)])
        orders[id(node)] = _keep_last(combined)
    return orders[id(ob)]


def _keep_last(items: list[T]) -> list[T]:
    seen: set[int] = set()
    kept: list[T] = []
    for item in reversed(items):
        if id(item) not in seen:
            seen.add(id(item))
            kept.append(item)
    kept.reverse()
    return kept


def _bases_first(ob: T, bases_of: Callable[[T], Sequence[T]]) -> Iterator[T]:
    """``ob`` and everything below it, each once, every object after its bases."""
    return reversed(dependency_order(ob, bases_of))


def dependency_order(start: T, dependents_of: Callable[[T], Iterable[T]]) -> list[T]:
    """``start`` and everything that depends on it, transitively, each once,
    every object after all the objects it depends on among them.

    A depth-first walk with a stack of its own; its reversed finishing order
    is such an order for any acyclic graph.
    """
    finished: list[T] = []
    visited = {id(start)}
    stack: list[tuple[T, Iterator[T]]] = [(start, iter(dependents_of(start)))]
    while stack:
        node, pending = stack[-1]
        for dependent in pending:
            if id(dependent) not in visited:
                visited.add(id(dependent))
                stack.append((dependent, iter(dependents_of(dependent))))
                break
        else:
            stack.pop()
            finished.append(node)
    finished.reverse()
    return finished
