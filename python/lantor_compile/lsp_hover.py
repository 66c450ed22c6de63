"""Hover: over a member's name (or its value), the member's type, default and
words; over a variant's name, its words; over an indicator's name, where a
rule reads it or where it is declared, the indicator's declaration."""

from __future__ import annotations

from lantor_compile import lsp_markdown
from lantor_compile.lsp_document import Document
from lantor_compile.lsp_indicators import name_at
from lantor_compile.lsp_model import Part, strip_nullable
from lantor_compile.lsp_values import Value


def hover_at(doc: Document, offset: int) -> tuple[str, tuple[int, int]] | None:
    """The Markdown to show at ``offset`` and the span of the token it is about."""
    tree = doc.tree
    at = tree.at(offset)
    if at is None:
        return None
    value, on_name = at
    span = _token(value, on_name)
    indicator = name_at(tree, doc.indicators, offset)
    if indicator is not None:
        declared = doc.indicators.declared.get(indicator[0])
        shown = None if declared is None else lsp_markdown.definition(declared, doc.text.data)
        return None if shown is None else (f"indicator `{indicator[0]}`\n\n{shown}", span)
    type_name, part = doc.slots[value.position]
    model = doc.model
    if part is None:
        return None
    if part.role == "tag":
        if on_name:
            names = ", ".join(f"`{v['name']}`" for v in model.variants(part.owner))
            return f"`{part.name}`: names the variant of `{part.owner}`, one of {names}", span
        found = next((v for v in model.variants(part.owner) if v["name"] == value.string), None)
        return None if found is None else (_variant(doc, part.owner, found["name"]), span)
    if part.role == "variant":
        return lsp_markdown.variant(model, part.owner, part.name, part.type), span
    if not on_name and value.string is not None and type_name is not None and model.unit_choice(type_name):
        choice = strip_nullable(type_name)
        if any(v["name"] == value.string for v in model.variants(choice)):
            return _variant(doc, choice, value.string), span
    if part.role == "member":
        return _member(doc, part), span
    return None


def _variant(doc: Document, choice: str, name: str) -> str:
    return lsp_markdown.variant(doc.model, choice, name, None)


def _member(doc: Document, part: Part) -> str:
    return lsp_markdown.member(doc.model, part.owner, part.name, part.type, part.required, part.default)


def _token(value: Value, on_name: bool) -> tuple[int, int]:
    """The name's span, a scalar's, or a container's opening bracket."""
    if on_name and value.name_start is not None and value.name_end is not None:
        return value.name_start, value.name_end
    assert value.start is not None
    if value.kind == "scalar" and value.end is not None:
        return value.start, value.end
    return value.start, value.start + 1
