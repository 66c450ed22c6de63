"""The strategy document as the generators see it: the compiler's own
description of its types (lantor_compile.schema.describe(): names, order,
types, bounds, defaults) joined with the words of strategy_document.py.

The join is strict: words for a type, member or variant that the compiler
does not have, and a type, member or variant without words, are errors.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

import strategy_document as words

# ---------------------------------------------------------------------------
# Value types, parsed from the compiler's notation:
#   string, bool, u32, f64, any   a scalar        X?       X or null
#   [X]                           a sequence      {X}      a map to X
#   (X, Y)                        a tuple         Name     a type of the document


@dataclass(frozen=True)
class Scalar:
    """A scalar with its JSON Schema: the JSON type and, for integers, the range."""

    name: str
    schema: dict[str, Any]


@dataclass(frozen=True)
class Ref:
    """A named type of this document."""

    name: str


@dataclass(frozen=True)
class Nullable:
    """The inner type, or null for "none"."""

    inner: Type


@dataclass(frozen=True)
class ListOf:
    """A JSON array of any length."""

    item: Type


@dataclass(frozen=True)
class MapOf:
    """A JSON object from any name to the value type."""

    value: Type


@dataclass(frozen=True)
class Tuple:
    """A JSON array of exactly these elements."""

    items: tuple[Type, ...]


Type = Scalar | Ref | Nullable | ListOf | MapOf | Tuple


def _split_items(text: str) -> list[str]:
    """The comma-separated items of a tuple, nested brackets kept whole."""
    items, depth, start = [], 0, 0
    for i, c in enumerate(text):
        depth += c in "([{"
        depth -= c in ")]}"
        if c == "," and depth == 0:
            items.append(text[start:i].strip())
            start = i + 1
    return items + [text[start:].strip()]


def parse_type(text: str, scalars: dict[str, Scalar]) -> Type:
    if text.endswith("?"):
        return Nullable(parse_type(text[:-1], scalars))
    if text.startswith("[") and text.endswith("]"):
        return ListOf(parse_type(text[1:-1], scalars))
    if text.startswith("{") and text.endswith("}"):
        return MapOf(parse_type(text[1:-1], scalars))
    if text.startswith("(") and text.endswith(")"):
        return Tuple(tuple(parse_type(item, scalars) for item in _split_items(text[1:-1])))
    return scalars.get(text) or Ref(text)


# ---------------------------------------------------------------------------
# The document's types

NO_DEFAULT = object()


@dataclass(frozen=True)
class Member:
    name: str
    type: Type
    title: str
    description: str
    required: bool
    default: Any = NO_DEFAULT


@dataclass(frozen=True)
class Record:
    """Members in declaration order; written as an object or as an array
    holding the members by position."""

    name: str
    title: str
    description: str
    members: tuple[Member, ...]


@dataclass(frozen=True)
class Variant:
    """One variant of a choice. `data` is None for a variant without data;
    `fields` are the members of an internally tagged variant."""

    name: str
    title: str
    description: str
    data: Type | None = None
    fields: tuple[Member, ...] = ()


@dataclass(frozen=True)
class Choice:
    """An enumeration. `tag` names the member of an internally tagged choice;
    otherwise the choice is externally tagged (a bare name for a variant
    without data, a one-member object otherwise)."""

    name: str
    title: str
    description: str
    variants: tuple[Variant, ...]
    tag: str | None = None


@dataclass(frozen=True)
class Untagged:
    """Alternatives told apart by their JSON form, tried in this order."""

    name: str
    title: str
    description: str
    alternatives: tuple[Variant, ...]


Definition = Record | Choice | Untagged


@dataclass(frozen=True)
class Document:
    """The root first, then the named types in the compiler's order; with the
    request's choices as the compiler describes them."""

    definitions: tuple[Definition, ...]
    request: dict[str, Any]


class WordsMismatch(Exception):
    """The words and the compiler's names do not match; the message lists
    every difference."""


def _without_nones(value: Any) -> Any:
    """A record's default without the members that default to none, which
    is how a document leaves them out."""
    if isinstance(value, dict):
        return {k: _without_nones(v) for k, v in value.items() if v is not None}
    return value


class _Join:
    def __init__(self, description: dict[str, Any]) -> None:
        self.scalars = {s["name"]: _scalar(s) for s in description["scalars"]}
        self.types = {t["name"]: t for t in description["strategy"]}
        self.problems: list[str] = []
        self.used: set[str] = set()

    def parts(self, type_name: str, names: list[str]) -> dict[str, words.Words]:
        """The words of a type's members or variants, which must name exactly `names`."""
        entry = words.WORDS.get(type_name)
        self.used.add(type_name)
        if entry is None:
            self.problems.append(f"{type_name}: no words")
            return {}
        missing = [n for n in names if n not in entry.parts]
        unknown = [n for n in entry.parts if n not in names]
        if missing:
            self.problems.append(f"{type_name}: no words for {', '.join(missing)}")
        if unknown:
            self.problems.append(f"{type_name}: words for {', '.join(unknown)}, which it does not have")
        return entry.parts

    def heading(self, type_name: str) -> words.Words:
        entry = words.WORDS.get(type_name)
        if not isinstance(entry, words.Named):
            self.problems.append(f"{type_name}: needs a title and a description")
            return words.Words(type_name, "")
        return entry

    def members(self, t: dict[str, Any]) -> tuple[Member, ...]:
        said = self.parts(t["name"], [m["name"] for m in t["members"]])
        out = []
        for m in t["members"]:
            w = said.get(m["name"], words.Words("", ""))
            if not m["required"] and "default" not in m:
                self.problems.append(f"{t['name']}.{m['name']}: optional, with no default")
            default = _without_nones(m["default"]) if "default" in m else NO_DEFAULT
            out.append(
                Member(
                    m["name"],
                    parse_type(m["type"], self.scalars),
                    w.title,
                    w.description,
                    m["required"],
                    default,
                )
            )
        return tuple(out)

    def definition(self, t: dict[str, Any]) -> Definition:
        head = self.heading(t["name"])
        if t["shape"] == "record":
            return Record(t["name"], head.title, head.description, self.members(t))
        said = self.parts(t["name"], [v["name"] for v in t["variants"]])
        variants = []
        for v in t["variants"]:
            w = said.get(v["name"], words.Words("", ""))
            data = v["data"]
            if t["shape"] == "internally_tagged":
                fields = self.members(self.types[data]) if data else ()
                variants.append(Variant(v["name"], w.title, w.description, fields=fields))
            else:
                parsed = None if data is None else parse_type(data, self.scalars)
                variants.append(Variant(v["name"], w.title, w.description, parsed))
        if t["shape"] == "untagged":
            return Untagged(t["name"], head.title, head.description, tuple(variants))
        tag = t.get("tag") if t["shape"] == "internally_tagged" else None
        return Choice(t["name"], head.title, head.description, tuple(variants), tag)


def _scalar(described: dict[str, Any]) -> Scalar:
    schema = {"type": described["json_type"]} if "json_type" in described else {}
    schema |= {k: described[k] for k in ("minimum", "maximum") if k in described}
    return Scalar(described["name"], schema)


def document(description: dict[str, Any]) -> Document:
    """The document described by the compiler, with its words; raises
    WordsMismatch listing every name without words and every word without a
    name."""
    join = _Join(description)
    variant_records = {
        v["data"]
        for t in description["strategy"]
        if t["shape"] == "internally_tagged"
        for v in t["variants"]
        if v["data"]
    }
    definitions = tuple(
        join.definition(t) for t in description["strategy"] if t["name"] not in variant_records
    )
    join.problems += [
        f"{name}: words for a type the compiler does not have" for name in words.WORDS.keys() - join.used
    ]
    if join.problems:
        raise WordsMismatch("\n".join(join.problems))
    return Document(definitions, description["request"])
