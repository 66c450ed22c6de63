"""The indicators of a strategy document: where each name is declared (a
member of ``indicators``) and where rules read it (operands that are
strings), for going to a definition, finding references, renaming, and
declaring a name that rules read but nothing declares.
"""

from __future__ import annotations

import json
from dataclasses import dataclass

from lantor_compile.lsp_model import Model, Part
from lantor_compile.lsp_values import Tree, Value

INDICATORS = "indicators"
# What a declaration added by the server holds: the one member a declaration
# needs, its kind, left for the author to write.
NEW_DECLARATION = '{ "type": "" }'


@dataclass(frozen=True)
class Indicators:
    block: Value | None  # the value of `indicators`
    declared: dict[str, Value]  # by name; of a repeated name, the last
    references: list[Value]  # the operands that are names, in document order


def indicators_of(tree: Tree, slots: list[tuple[str | None, Part | None]], model: Model) -> Indicators:
    block = None
    root = tree.root
    if root is not None:
        for child in tree.children(root):
            part = slots[child.position][1]
            if part is not None and part.role == "member" and part.name == INDICATORS:
                block = child
    declared: dict[str, Value] = {}
    if block is not None and block.kind == "object":
        declared = {c.name: c for c in tree.children(block) if c.name is not None}
    references = [v for v in tree.values if v.end is not None and model.is_operand_name(slots[v.position], v)]
    return Indicators(block, declared, references)


def name_at(tree: Tree, found: Indicators, offset: int) -> tuple[str, tuple[int, int]] | None:
    """The indicator name at ``offset``, a declaration's or an operand's, with
    the span of its string token there."""
    at = tree.at(offset)
    if at is None:
        return None
    value, on_name = at
    if (
        on_name
        and found.block is not None
        and value.parent == found.block.position
        and value.name is not None
    ):
        return value.name, token_span(value, True)
    if not on_name and value.string is not None and value in found.references:
        return value.string, token_span(value, False)
    return None


def token_span(value: Value, declaration: bool) -> tuple[int, int]:
    """The span of the name's string token, quotes included."""
    start, end = (value.name_start, value.name_end) if declaration else (value.start, value.end)
    assert start is not None and end is not None
    return start, end


def occurrences(found: Indicators, name: str, with_declaration: bool = True) -> list[tuple[int, int]]:
    """The spans of the name's tokens: its declaration, then every reference."""
    spans = []
    declared = found.declared.get(name)
    if with_declaration and declared is not None:
        spans.append(token_span(declared, True))
    spans += [token_span(v, False) for v in found.references if v.string == name]
    return spans


def string_content(name: str) -> str:
    """A name as it is written between the quotes of a JSON string."""
    return json.dumps(name, ensure_ascii=False)[1:-1]


def declaration_insert(tree: Tree, found: Indicators, data: bytes, name: str) -> tuple[int, str] | None:
    """Where, and what, to insert so that ``indicators`` declares ``name``:
    after its last member, on a line of its own when the members stand on
    lines of their own; None when there is no ``indicators`` object to add to."""
    block = found.block
    if block is None or block.kind != "object" or block.start is None or block.end is None:
        return None
    member = f"{json.dumps(name, ensure_ascii=False)}: {NEW_DECLARATION}"
    members = tree.children(block)
    if not members:
        return block.start + 1, member
    last = members[-1]
    assert last.name_start is not None and last.end is not None
    line_start = data.rfind(b"\n", 0, last.name_start) + 1
    if line_start <= block.start:
        return last.end, ", " + member
    indent = data[line_start : last.name_start].decode("utf-8")
    return last.end, ",\n" + (indent if not indent.strip() else "") + member
