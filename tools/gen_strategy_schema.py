"""Writes the JSON Schemas of the strategy document and the reference pages
(docs/reference/strategy.md, docs/reference/errors.md), and the words alone
as the package's data (strategy.words.json), for the language server's hovers
and completions.

The facts (names, order, types, bounds, defaults) are the compiler's own
description of its documents, lantor_compile.schema.describe(), so the
package must be importable: installed, or a development build on the path
(PYTHONPATH=build-cli/pkg). The words come from tools/strategy_document.py
and tools/error_codes.py; a name without words, or words for a name the
compiler does not have, stops the generator.

Two flavours of the schema:
- exact (strategy.schema.json): accepts what the compiler accepts: records as
  objects or positional arrays, both spellings of a variant without data,
  tagged choices as objects or arrays, members of other names anywhere a
  record allows them;
- strict (strategy.strict.schema.json): for authoring: records and tagged
  choices as objects only, no members of other names except a top-level
  "$schema"; a tagged choice's tag picks its variant (if/then), so that a
  misspelt tag is what a validator reports.

Usage: gen_strategy_schema.py [--check]
With --check nothing is written; the exit status is 1 if a file is stale.
"""

from __future__ import annotations

import dataclasses
import json
import sys
from pathlib import Path
from typing import Any

sys.path.insert(0, str(Path(__file__).resolve().parent))

import document_model as doc
import reference_pages
import strategy_document

from lantor_compile.schema import describe

ROOT = Path(__file__).resolve().parent.parent
PACKAGE = ROOT / "python" / "lantor_compile"
REFERENCE = ROOT / "docs" / "reference"
DRAFT = "https://json-schema.org/draft/2020-12/schema"
# The schemas' identifiers: names, not addresses (nothing is served there),
# which editors and validators use to tell the two apart and to resolve
# references within each.
SCHEMA_IDS = {False: "urn:lantor-compile:strategy", True: "urn:lantor-compile:strategy:strict"}

SCHEMA_MEMBER = {
    "title": "Schema",
    "description": "The JSON Schema that this document follows, for editors. Like any member, "
    "it is kept in the embedded document and changes the spec hash.",
    "type": "string",
}


class SchemaWriter:
    def __init__(self, document: doc.Document, strict: bool) -> None:
        self.document = document
        self.strict = strict

    def type_schema(self, t: doc.Type) -> dict[str, Any]:
        if isinstance(t, doc.Scalar):
            return dict(t.schema)
        if isinstance(t, doc.Ref):
            return {"$ref": f"#/$defs/{t.name}"}
        if isinstance(t, doc.Nullable):
            if isinstance(t.inner, doc.Scalar):
                inner = dict(t.inner.schema)
                return {**inner, "type": [inner["type"], "null"]}
            return {"anyOf": [self.type_schema(t.inner), {"type": "null"}]}
        if isinstance(t, doc.ListOf):
            return {"type": "array", "items": self.type_schema(t.item)}
        if isinstance(t, doc.MapOf):
            return {"type": "object", "additionalProperties": self.type_schema(t.value)}
        n = len(t.items)
        return {
            "type": "array",
            "prefixItems": [self.type_schema(i) for i in t.items],
            "minItems": n,
            "maxItems": n,
        }

    def member(self, m: doc.Member) -> dict[str, Any]:
        out = {"title": m.title, "description": m.description, **self.type_schema(m.type)}
        if m.default is not doc.NO_DEFAULT:
            out["default"] = m.default
        return out

    def fields(
        self,
        members: tuple[doc.Member, ...],
        path: str,
        lead: dict[str, Any],
        lead_item: dict[str, Any] | None,
    ) -> dict[str, Any]:
        """The object form, and in the exact flavour the positional form, of a
        list of members; `lead` are properties before them (a tag), and
        `lead_item` the positional element that stands for them."""
        properties = {**lead, **{m.name: self.member(m) for m in members}}
        required = list(lead) + [m.name for m in members if m.required]
        out: dict[str, Any] = {
            "type": "object" if self.strict else ["object", "array"],
            "properties": properties,
        }
        if required:
            out["required"] = required
        if self.strict:
            out["additionalProperties"] = False
            return out
        items = [] if lead_item is None else [lead_item]
        items += [{"$ref": f"{path}/properties/{m.name}"} for m in members]
        last_required = max((i for i, m in enumerate(members) if m.required), default=-1)
        out["prefixItems"] = items
        out["minItems"] = len(items) - len(members) + last_required + 1
        out["maxItems"] = len(items)
        return out

    def record(self, r: doc.Record, path: str) -> dict[str, Any]:
        return {
            "title": r.title,
            "description": self._forms(r.description, "record"),
            **self.fields(r.members, path, {}, None),
        }

    def choice(self, c: doc.Choice, path: str) -> dict[str, Any]:
        out = {"title": c.title, "description": self._forms(c.description, c)}
        words = [{"title": v.title, "description": v.description} for v in c.variants]
        if c.tag is not None and self.strict:
            return {**out, **self.discriminated(c, words)}
        if c.tag is not None:
            return {
                **out,
                "anyOf": [
                    {
                        **w,
                        **self.fields(
                            v.fields, f"{path}/anyOf/{i}", {c.tag: {**w, "const": v.name}}, {"const": v.name}
                        ),
                    }
                    for i, (v, w) in enumerate(zip(c.variants, words, strict=True))
                ],
            }
        with_data = [v.data is not None for v in c.variants]
        assert all(with_data) or not any(with_data), f"{c.name} mixes variants with and without data"
        members = {
            v.name: {**w, **(self.type_schema(v.data) if v.data else {"type": "null"})}
            for v, w in zip(c.variants, words, strict=True)
        }
        if any(with_data):
            return {**out, **self.one_member_objects(members, words)}
        # A variant without data: its name, or a one-member object whose value is null.
        names = [{**w, "const": v.name} for v, w in zip(c.variants, words, strict=True)]
        as_objects = self.one_member_objects(
            members,
            words,
            {
                "title": "Written as an object",
                "description": "A name written as a one-member object whose value is null.",
            },
        )
        return {**out, "anyOf": names + (as_objects["anyOf"] if self.strict else [as_objects])}

    def discriminated(self, c: doc.Choice, words: list[dict[str, str]]) -> dict[str, Any]:
        """An internally tagged choice whose tag decides the branch: the tag
        must be one of the names, and each name brings its variant's fields
        (if/then). A validator or an editor then names a misspelt tag rather
        than the fields of every variant that it fails."""
        assert c.tag is not None
        return {
            "type": "object",
            "properties": {c.tag: {"enum": [v.name for v in c.variants]}},
            "required": [c.tag],
            "allOf": [
                {
                    **w,
                    "if": {"properties": {c.tag: {"const": v.name}}, "required": [c.tag]},
                    "then": self.fields(v.fields, "", {c.tag: {**w, "const": v.name}}, None),
                }
                for v, w in zip(c.variants, words, strict=True)
            ],
        }

    def one_member_objects(
        self, members: dict[str, Any], words: list[dict[str, str]], whole: dict[str, str] | None = None
    ) -> dict[str, Any]:
        """Objects of exactly one of `members`. The strict flavour offers a
        choice of one-member objects, each member required: the form that
        generators of structured output support most widely. The exact one
        writes one object with every member and room for exactly one: what
        validators check fastest and editors complete best."""
        if self.strict:
            return {
                "anyOf": [
                    {
                        **w,
                        "type": "object",
                        "properties": {name: member},
                        "required": [name],
                        "additionalProperties": False,
                    }
                    for (name, member), w in zip(members.items(), words, strict=True)
                ]
            }
        return {
            **(whole or {}),
            "type": "object",
            "properties": members,
            "additionalProperties": False,
            "minProperties": 1,
            "maxProperties": 1,
        }

    def untagged(self, u: doc.Untagged) -> dict[str, Any]:
        return {
            "title": u.title,
            "description": u.description,
            "anyOf": [
                {"title": a.title, "description": a.description, **self.type_schema(a.data)}
                for a in u.alternatives
                if a.data is not None
            ],
        }

    def definition(self, d: doc.Definition, path: str) -> dict[str, Any]:
        if isinstance(d, doc.Record):
            return self.record(d, path)
        if isinstance(d, doc.Choice):
            return self.choice(d, path)
        return self.untagged(d)

    def schema(self) -> dict[str, Any]:
        root, *named = self.document.definitions
        assert isinstance(root, doc.Record)
        body = self.record(root, "#")
        if self.strict:
            body["properties"] = {"$schema": SCHEMA_MEMBER, **body["properties"]}
        flavour = "strict" if self.strict else "exact"
        return {
            "$schema": DRAFT,
            "$id": SCHEMA_IDS[self.strict],
            "$comment": f"The {flavour} flavour; generated by tools/gen_strategy_schema.py.",
            **body,
            "$defs": {d.name: self.definition(d, f"#/$defs/{d.name}") for d in named},
        }

    def _forms(self, description: str, what: doc.Choice | str) -> str:
        """The description, with the other spellings that the flavour accepts."""
        if isinstance(what, doc.Choice) and what.tag is None and all(v.data is None for v in what.variants):
            return description + ' A name may also be written {"name": null}.'
        if self.strict:
            return description
        if what == "record":
            return description + " Also written as an array of the members in order."
        if isinstance(what, doc.Choice) and what.tag is not None:
            return description + " Also written as an array: the tag, then the fields in order."
        return description


def schema_text(document: doc.Document, strict: bool) -> str:
    return json.dumps(SchemaWriter(document, strict).schema(), indent=2, ensure_ascii=False) + "\n"


def words_text() -> str:
    """The words by the compiler's names of types, members and variants, as
    the package reads them at run time."""
    named = {name: dataclasses.asdict(w) for name, w in strategy_document.WORDS.items()}
    return json.dumps(named, indent=1, ensure_ascii=False) + "\n"


# ---------------------------------------------------------------------------


def outputs() -> dict[Path, str]:
    document = doc.document(describe())
    return {
        PACKAGE / "strategy.schema.json": schema_text(document, strict=False),
        PACKAGE / "strategy.strict.schema.json": schema_text(document, strict=True),
        PACKAGE / "strategy.words.json": words_text(),
        REFERENCE / "strategy.md": reference_pages.strategy_page(document),
        REFERENCE / "errors.md": reference_pages.codes_page(),
    }


def main(argv: list[str]) -> int:
    check = argv == ["--check"]
    if argv and not check:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        texts = outputs()
    except (doc.WordsMismatch, reference_pages.CodesMismatch) as e:
        print(f"the words and the compiler disagree:\n{e}", file=sys.stderr)
        return 1
    stale = []
    for path, text in texts.items():
        if path.exists() and path.read_text(encoding="utf-8") == text:
            continue
        stale.append(path.relative_to(ROOT))
        if not check:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
    for path in stale:
        print(f"{'stale' if check else 'wrote'}: {path}", file=sys.stderr)
    return 1 if check and stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
