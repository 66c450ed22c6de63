"""Completion: at a key, the members the object's record defines and it does
not have yet (for a choice written as a one-member object, its variants);
at a value, the variant names of a choice written as a name or named by a
tag, and at an operand the declared indicators and the bar's prices."""

from __future__ import annotations

import json
from collections.abc import Callable
from typing import Any

from lsprotocol import types

from lantor_compile import lsp_markdown
from lantor_compile.lsp_context import Context
from lantor_compile.lsp_model import EXPRESSION, OPERAND, PRICE_SOURCE, Model, strip_nullable

# (label, kind, detail, documentation in Markdown, text written)
Offer = tuple[str, types.CompletionItemKind, str | None, str | None, str]
# A declared indicator: its name, its kind and its declaration in Markdown.
Declared = tuple[str, str | None, str | None]


def completions(
    context: Context, model: Model, declared: list[Declared], replace: types.Range
) -> list[types.CompletionItem]:
    """The items for a position, each writing its text over ``replace``, the
    token being typed; a key's item is filtered by its name's string."""
    offered = _keys(context, model) if context.kind == "key" else _values(context, model, declared)
    return [
        types.CompletionItem(
            label=label,
            kind=kind,
            detail=detail,
            documentation=None if doc is None else types.MarkupContent(types.MarkupKind.Markdown, doc),
            filter_text=_json(label) if context.kind == "key" else text,
            sort_text=f"{i:04}",
            text_edit=types.TextEdit(replace, text),
        )
        for i, (label, kind, detail, doc, text) in enumerate(offered)
    ]


def _keys(context: Context, model: Model) -> list[Offer]:
    shape = model.shape(context.type)
    if context.type is None or shape is None:
        return []
    t = strip_nullable(context.type)
    if shape == "untagged":
        # An operand written as an object is an expression.
        t, shape = EXPRESSION, "externally_tagged"

    def key(name: str) -> str:
        return _json(name) + ("" if context.colon_follows else ": ")

    if shape == "record":
        return [_member(model, t, m, key) for m in model.members(t) if m["name"] not in context.present]
    if shape == "externally_tagged":
        if context.present:
            return []
        return [
            (
                v["name"],
                types.CompletionItemKind.EnumMember,
                v["data"],
                lsp_markdown.variant(model, t, v["name"], v["data"]),
                key(v["name"]),
            )
            for v in model.variants(t)
        ]
    if shape != "internally_tagged":
        return []
    tag = str(model.named(t)["tag"])
    offers: list[Offer] = []
    if tag not in context.present:
        names = ", ".join(f"`{v['name']}`" for v in model.variants(t))
        offers.append(
            (tag, types.CompletionItemKind.Property, t, f"Names the variant: one of {names}.", key(tag))
        )
    chosen = model.variant_fields(t, context.tag)
    if chosen is not None:
        record, fields = chosen
        offers += [_member(model, record, m, key) for m in fields if m["name"] not in context.present]
    return offers


def _values(context: Context, model: Model, declared: list[Declared]) -> list[Offer]:
    if context.part is not None and context.part.role == "tag":
        return _variant_names(model, context.part.owner)
    if context.type is not None and model.unit_choice(context.type):
        return _variant_names(model, strip_nullable(context.type))
    if context.type is None or strip_nullable(context.type) != OPERAND:
        return []
    offers: list[Offer] = [
        (name, types.CompletionItemKind.Variable, kind, doc, _json(name)) for name, kind, doc in declared
    ]
    if not context.in_string:
        offers += [
            (
                f'{{"price": "{v["name"]}"}}',
                types.CompletionItemKind.Value,
                PRICE_SOURCE,
                lsp_markdown.words(model, PRICE_SOURCE, v["name"]),
                '{"price": ' + _json(v["name"]) + "}",
            )
            for v in model.variants(PRICE_SOURCE)
        ]
    return offers


def _variant_names(model: Model, choice: str) -> list[Offer]:
    return [
        (
            v["name"],
            types.CompletionItemKind.EnumMember,
            choice,
            lsp_markdown.variant(model, choice, v["name"], None),
            _json(v["name"]),
        )
        for v in model.variants(choice)
    ]


def _member(model: Model, record: str, member: dict[str, Any], key: Callable[[str], str]) -> Offer:
    return (
        member["name"],
        types.CompletionItemKind.Property,
        member["type"],
        lsp_markdown.member(
            model, record, member["name"], member["type"], member["required"], member.get("default")
        ),
        key(member["name"]),
    )


def _json(name: str) -> str:
    return json.dumps(name, ensure_ascii=False)
