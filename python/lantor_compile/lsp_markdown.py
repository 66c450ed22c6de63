"""The words a hover or a completion shows, in Markdown: a member's type,
its default and its description; a variant's title and description; an
indicator's declaration as the document writes it."""

from __future__ import annotations

import json
from typing import Any

from lantor_compile.lsp_model import Model
from lantor_compile.lsp_values import Value

# The longest declaration shown whole.
DEFINITION_LIMIT = 2000


def words(model: Model, owner: str, name: str) -> str | None:
    """A member's or variant's title and description."""
    said = model.part_words(owner, name)
    return None if said is None else f"**{said.title}.** {said.description}"


def member(model: Model, record: str, name: str, type_name: str | None, required: bool, default: Any) -> str:
    """A member: its type, whether it is required or what its absence means, its words."""
    absent = "required" if required else f"optional, absent: `{json.dumps(default, ensure_ascii=False)}`"
    head = f"`{name}`: `{type_name}` ({absent})"
    said = words(model, record, name)
    return head if said is None else f"{head}\n\n{said}"


def variant(model: Model, choice: str, name: str, data: str | None) -> str:
    """A variant of a choice, with the type of its data."""
    head = f"`{name}`: a variant of `{choice}`" + ("" if data is None else f", data `{data}`")
    said = words(model, choice, name)
    return head if said is None else f"{head}\n\n{said}"


def definition(value: Value, data: bytes) -> str | None:
    """An indicator's declaration, name and value as written, in a code block."""
    if value.name_start is None or value.end is None:
        return None
    text = data[value.name_start : value.end].decode("utf-8", errors="replace")
    if len(text) > DEFINITION_LIMIT:
        text = text[:DEFINITION_LIMIT] + " …"
    return f"```json\n{text}\n```"
