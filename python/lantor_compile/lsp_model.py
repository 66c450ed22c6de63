"""What each place of a strategy document holds, from the compiler's own
description of its types (``schema.describe()``) and the words shipped with
the package (``strategy.words.json``).

A place's type is found from the root down, one step per value, as the
readers would read it: a record's member by name (or by position in the
array form), a map's entry, a tuple's element, the data of an externally
tagged variant (the one member of its object), the tag or a field of an
internally tagged choice (the variant named by the tag), and an operand
read by its JSON form (a string a name, an object an expression). A type
is written as the description writes it: ``u32``, ``X?``, ``[X]``,
``{X}``, ``(X, Y)`` or a type's name.
"""

from __future__ import annotations

import functools
import json
from dataclasses import dataclass
from importlib import resources
from typing import Any

from lantor_compile.lsp_values import Tree, Value
from lantor_compile.schema import describe

WORDS_FILE = "strategy.words.json"
OPERAND = "Operand"
EXPRESSION = "Expr"
PRICE_SOURCE = "PriceSource"


@dataclass(frozen=True)
class Part:
    """The role a member or element plays in the value holding it.

    ``role``: "member" (of a record, or a field of an internally tagged
    variant), "tag" (the member naming an internally tagged variant),
    "variant" (the one member of an externally tagged variant's object),
    "entry" (of a map) or "element" (of a list or tuple). ``owner`` is the
    type that defines it (the variant's record for a field), ``type`` the
    type of its value (for a tag, the choice).
    """

    role: str
    owner: str
    name: str
    type: str | None
    required: bool = False
    default: Any = None
    has_default: bool = False


@dataclass(frozen=True)
class Words:
    title: str
    description: str


def strip_nullable(type_name: str) -> str:
    return type_name[:-1] if type_name.endswith("?") else type_name


def tuple_items(type_name: str) -> list[str]:
    """The element types of ``(X, Y, ...)``, nested brackets kept whole."""
    inner = type_name[1:-1]
    items, depth, start = [], 0, 0
    for i, c in enumerate(inner):
        depth += c in "([{"
        depth -= c in ")]}"
        if c == "," and depth == 0:
            items.append(inner[start:i].strip())
            start = i + 1
    return items + [inner[start:].strip()]


class Model:
    """The document's types and words, with the type of every value of a tree."""

    def __init__(self, description: dict[str, Any], words: dict[str, Any]) -> None:
        self.types: dict[str, dict[str, Any]] = {t["name"]: t for t in description["strategy"]}
        # The description lists the document itself first.
        self.root: str = description["strategy"][0]["name"]
        self.words = words

    # -- the types ---------------------------------------------------------

    def shape(self, type_name: str | None) -> str | None:
        """The type's shape: "record", "externally_tagged",
        "internally_tagged", "untagged", "list", "map", "tuple", or None for a
        scalar or no type."""
        if type_name is None:
            return None
        t = strip_nullable(type_name)
        if t[:1] in "[{(" and t:
            return {"[": "list", "{": "map", "(": "tuple"}[t[0]]
        described = self.types.get(t)
        return None if described is None else str(described["shape"])

    def named(self, type_name: str) -> dict[str, Any]:
        return self.types[strip_nullable(type_name)]

    def variants(self, type_name: str) -> list[dict[str, Any]]:
        return list(self.named(type_name)["variants"])

    def unit_choice(self, type_name: str | None) -> bool:
        """An externally tagged choice whose variants carry no data, written as a bare name."""
        return self.shape(type_name) == "externally_tagged" and all(
            v["data"] is None for v in self.variants(str(type_name))
        )

    def members(self, record: str) -> list[dict[str, Any]]:
        return list(self.named(record)["members"])

    def variant_fields(self, choice: str, variant: str | None) -> tuple[str, list[dict[str, Any]]] | None:
        """The record of an internally tagged variant and its fields."""
        for v in self.variants(choice):
            if v["name"] == variant:
                return (v["data"], self.members(v["data"])) if v["data"] else (choice, [])
        return None

    def part(self, holder_type: str | None, tree: Tree, holder: Value, child: Value) -> Part | None:
        """What ``child`` is in ``holder``, a value of ``holder_type``."""
        shape = self.shape(holder_type)
        if holder_type is None or shape is None:
            return None
        t = strip_nullable(holder_type)
        by_name = holder.kind == "object" and child.name is not None
        by_index = holder.kind == "array" and child.name is None
        if shape == "untagged":
            # An operand that is an object is an expression.
            return self.part(EXPRESSION, tree, holder, child) if holder.kind == "object" else None
        if shape == "list":
            return Part("element", t, str(child.index), t[1:-1]) if by_index else None
        if shape == "map":
            return Part("entry", t, child.name or "", t[1:-1]) if by_name else None
        if shape == "tuple":
            items = tuple_items(t)
            return (
                Part("element", t, str(child.index), items[child.index])
                if by_index and child.index < len(items)
                else None
            )
        if shape == "record":
            members = self.members(t)
            if by_name:
                return next((_member_part(t, m) for m in members if m["name"] == child.name), None)
            return _member_part(t, members[child.index]) if by_index and child.index < len(members) else None
        if shape == "externally_tagged":
            if not by_name:
                return None
            variant = next((v for v in self.variants(t) if v["name"] == child.name), None)
            return None if variant is None else Part("variant", t, variant["name"], variant["data"])
        tag = str(self.named(t)["tag"])
        if (by_name and child.name == tag) or (by_index and child.index == 0):
            return Part("tag", t, tag, t)
        chosen = self.variant_fields(t, self.tag_of(tree, holder, tag))
        if chosen is None:
            return None
        record, fields = chosen
        if by_name:
            return next((_member_part(record, m) for m in fields if m["name"] == child.name), None)
        return (
            _member_part(record, fields[child.index - 1])
            if by_index and child.index - 1 < len(fields)
            else None
        )

    @staticmethod
    def tag_of(tree: Tree, holder: Value, tag: str) -> str | None:
        """The variant an internally tagged choice's value names, object or array."""
        if holder.kind == "object":
            found = tree.member(holder, tag)
            return None if found is None else found.string
        first = next(iter(tree.children(holder)), None)
        return None if first is None else first.string

    def slots(self, tree: Tree) -> list[tuple[str | None, Part | None]]:
        """For every value of the tree, its type and the part it plays in its
        parent, in one pass from the root down."""
        out: list[tuple[str | None, Part | None]] = []
        for v in tree.values:
            if v.parent is None:
                out.append((self.root, None))
                continue
            holder_type = out[v.parent][0]
            part = self.part(holder_type, tree, tree.values[v.parent], v)
            if part is None:
                out.append((None, None))
            elif part.role == "tag":
                out.append((None, part))
            else:
                out.append((part.type, part))
        return out

    def is_operand_name(self, slot: tuple[str | None, Part | None], value: Value) -> bool:
        """A string read as an operand's name: a reference to an indicator."""
        return slot[0] is not None and strip_nullable(slot[0]) == OPERAND and value.string is not None

    # -- the words ---------------------------------------------------------

    def part_words(self, owner: str, name: str) -> Words | None:
        entry = self.words.get(strip_nullable(owner))
        said = None if entry is None else entry["parts"].get(name)
        return None if said is None else Words(said["title"], said["description"])


def _member_part(record: str, member: dict[str, Any]) -> Part:
    return Part(
        "member",
        record,
        member["name"],
        member["type"],
        member["required"],
        member.get("default"),
        "default" in member,
    )


@functools.cache
def model() -> Model:
    """The package's model, read once."""
    words = json.loads(resources.files("lantor_compile").joinpath(WORDS_FILE).read_text(encoding="utf-8"))
    return Model(describe(), words)
