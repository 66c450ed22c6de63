"""Where a cursor stands in a document being typed, for completion.

A text being typed is rarely valid JSON at the cursor: a member name is
half written, a comma waits for what follows. So the text up to the cursor
is read by the system's own reader (the native walk), which stops where the
text runs out and leaves open the values around the cursor: that gives the
path from the root, the members written before the cursor and the token
being typed. What lies after the cursor cannot be read that way, since the
reader stops at the cursor; a small scan dedicated to one question (which
members the object at the cursor already has further on, and the variant
its tag names) reads it leniently, counting brackets outside strings, until
the object closes.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field

from lantor_compile.lsp_model import Model, Part
from lantor_compile.lsp_values import Tree, Value

_WHITESPACE = b" \t\r\n"
# A number or a literal, whole or begun.
_WORD = re.compile(rb"[-+.\w]+")
# The rest of a string token after the cursor, through its closing quote.
_STRING_REST = re.compile(rb'(?:[^"\\\n]|\\.)*"')


@dataclass
class Context:
    """A key or value position at the cursor.

    ``holder``: the object (for a key) or the container (for a value) the
    cursor is in, None for the root value. ``type``: the holder's type for a
    key, the value's own for a value; ``part``: the part the value plays in
    its holder. ``replace``: the byte span a completion replaces (the token
    being typed, a string through its closing quote); ``in_string``: that
    token is a string; ``colon_follows``: a colon follows a key being
    rewritten. ``present``: the members the object already has; ``tag``: the
    variant its tag names, when it is a tagged choice.
    """

    kind: str
    holder: Value | None
    type: str | None
    part: Part | None
    replace: tuple[int, int]
    in_string: bool = False
    colon_follows: bool = False
    present: set[str] = field(default_factory=set)
    tag: str | None = None


def context_at(data: bytes, offset: int, model: Model) -> Context | None:
    """The position at byte ``offset`` of ``data``, or None where nothing can be offered."""
    prefix = data[:offset]
    tree = Tree.of(prefix.decode("utf-8"))
    opened = [v for v in tree.values if v.end is None]
    if tree.failed_at is None or not opened:
        return None
    inner = opened[-1]
    slots = model.slots(tree)
    if inner.kind == "scalar" and inner.start is not None and _WORD.fullmatch(prefix, inner.start):
        # A number or a literal being typed, which the reader refuses where it begins.
        return Context("value", tree.parent(inner), *slots[inner.position], (inner.start, offset))
    if tree.failed_at != offset:
        # The text breaks before the cursor: what is open there says nothing of it.
        return None
    if inner.kind == "scalar":
        holder = tree.parent(inner)
        if inner.start is None and holder is not None and inner.name_start is not None:
            # A member whose name is written and nothing after it.
            return _key(
                data, tree, holder, slots[holder.position][0], model, (inner.name_start, offset), inner
            )
        if inner.start is None or inner.start == offset:
            return Context("value", holder, *slots[inner.position], (offset, offset))
        if prefix[inner.start] != ord('"'):
            return None
        return Context("value", holder, *slots[inner.position], _string_span(data, inner.start, offset), True)
    children = tree.children(inner)
    after = children[-1].end if children and children[-1].end is not None else (inner.start or 0) + 1
    # What follows the last finished member or element: a comma (else the
    # cursor stands right after a value), and perhaps a name begun.
    tail = prefix[after:].lstrip(_WHITESPACE)
    if children:
        if not tail.startswith(b","):
            return None
        tail = tail[1:].lstrip(_WHITESPACE)
    holder_type = slots[inner.position][0]
    if inner.kind == "array":
        if tail:
            return None
        probe = Value(
            len(tree.values), inner.position, "scalar", offset, None, None, None, None, len(children), None
        )
        part = model.part(holder_type, tree, inner, probe)
        return Context("value", inner, None if part is None else part.type, part, (offset, offset))
    if not tail:
        return _key(data, tree, inner, holder_type, model, (offset, offset), None)
    if tail.startswith(b'"') and b'"' not in tail[1:]:
        return _key(
            data, tree, inner, holder_type, model, _string_span(data, offset - len(tail), offset), None
        )
    return None


def _string_span(data: bytes, start: int, offset: int) -> tuple[int, int]:
    """A string token from its opening quote, through its closing quote when
    the text after the cursor holds it on the same line."""
    rest = _STRING_REST.match(data, offset)
    return (start, rest.end() if rest else offset)


def _key(
    data: bytes,
    tree: Tree,
    holder: Value,
    holder_type: str | None,
    model: Model,
    replace: tuple[int, int],
    editing: Value | None,
) -> Context:
    """A key position in ``holder``, the span ``replace`` being rewritten."""
    following = _members_after(data, replace[1])
    present = {c.name for c in tree.children(holder) if c.name is not None and c is not editing}
    present |= following.keys()
    tag = None
    if model.shape(holder_type) == "internally_tagged" and holder_type is not None:
        name = str(model.named(holder_type)["tag"])
        tag = Model.tag_of(tree, holder, name) or following.get(name)
    colon = _byte_after(data, replace[1]) == ord(":")
    return Context(
        "key",
        holder,
        holder_type,
        None,
        replace,
        data[replace[0] : replace[0] + 1] == b'"',
        colon,
        present,
        tag,
    )


def _members_after(data: bytes, start: int) -> dict[str, str | None]:
    """The members of the object at ``start`` that follow it, up to where the
    object closes, each with its value when that is a string written without
    escapes."""
    found: dict[str, str | None] = {}
    depth, i, name, colon = 0, start, None, False
    while i < len(data):
        c = data[i]
        if c == ord('"'):
            rest = _STRING_REST.match(data, i + 1)
            if rest is None:
                break
            token = data[i + 1 : rest.end() - 1]
            i = rest.end()
            if depth > 0:
                continue
            text = token.decode("utf-8", errors="replace")
            if colon and name is not None:
                found[name] = None if b"\\" in token else text
                name, colon = None, False
            elif _byte_after(data, i) == ord(":"):
                name, colon = text, False
                found.setdefault(name, None)
            continue
        if c in b"{[":
            depth += 1
        elif c in b"}]":
            depth -= 1
            if depth < 0:
                break
        elif c == ord(":") and depth == 0:
            colon = True
        elif c == ord(",") and depth == 0:
            name, colon = None, False
        i += 1
    return found


def _byte_after(data: bytes, start: int) -> int | None:
    """The first byte from ``start`` on that is not whitespace."""
    i = start
    while i < len(data) and data[i] in _WHITESPACE:
        i += 1
    return data[i] if i < len(data) else None
