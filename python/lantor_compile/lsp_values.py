"""A document's values as the system's own reader finds them, with their places.

The native walk lists every value in the order it begins: its parent, its
kind, its byte span, a member's name and the span of that name, an
element's index, a string's decoded text. It stops at the reader's first
failure; the values begun by then are kept, unfinished (no end), so that
the part of a text before the place where someone is typing can be read
too.
"""

from __future__ import annotations

from dataclasses import dataclass, field

from lantor_compile import _lantor_check


@dataclass(frozen=True, slots=True)
class Value:
    """One value. ``start`` is None for a member whose value has not begun,
    ``end`` for a value left unfinished."""

    position: int  # in the tree's list
    parent: int | None
    kind: str  # "object", "array" or "scalar"
    start: int | None
    end: int | None
    name: str | None  # a member's name, decoded
    name_start: int | None  # its span, quotes included
    name_end: int | None
    index: int  # among its parent's elements or members
    string: str | None  # a string's decoded text

    @property
    def begin(self) -> int | None:
        """Where the value's text begins: a member at its name."""
        return self.name_start if self.name_start is not None else self.start


def _place(offset: int) -> int | None:
    return None if offset < 0 else offset


@dataclass
class Tree:
    """The values of one text; ``failed_at`` is where the reader failed, None
    when the text held one whole value."""

    values: list[Value]
    failed_at: int | None
    _children: list[list[int]] | None = field(default=None, repr=False)

    @classmethod
    def of(cls, source: str) -> Tree:
        found, failed_at = _lantor_check.values(source)
        values = [
            Value(
                i,
                _place(parent),
                kind,
                _place(start),
                _place(end),
                name,
                _place(name_start),
                _place(name_end),
                index,
                string,
            )
            for i, (parent, kind, start, end, name_start, name_end, name, index, string) in enumerate(found)
        ]
        return cls(values, failed_at)

    @property
    def root(self) -> Value | None:
        return self.values[0] if self.values else None

    def children(self, value: Value) -> list[Value]:
        if self._children is None:
            self._children = [[] for _ in self.values]
            for v in self.values:
                if v.parent is not None:
                    self._children[v.parent].append(v.position)
        return [self.values[i] for i in self._children[value.position]]

    def member(self, value: Value, name: str) -> Value | None:
        """The member of that name; of a repeated name, the last, as a reader takes it."""
        found = None
        for child in self.children(value):
            if child.name == name:
                found = child
        return found

    def parent(self, value: Value) -> Value | None:
        return None if value.parent is None else self.values[value.parent]

    def at(self, offset: int) -> tuple[Value, bool] | None:
        """The innermost value whose text holds the offset (its ends
        included), and whether the offset is on the member's name rather
        than its value."""
        found = None
        for v in self.values:
            if v.name_start is not None and v.name_end is not None and v.name_start <= offset <= v.name_end:
                found = (v, True)
            elif v.start is not None and v.start <= offset and (v.end is None or offset <= v.end):
                found = (v, False)
        return found
