"""Formatting: the document re-indented, and nothing else changed.

Only the whitespace between tokens changes: every name, string, number and
literal is copied as written (``1.0`` stays ``1.0``, an escape stays an
escape), members keep their order, a repeated member stays repeated, so
the canonical text, and with it the spec hash, is what it was. An object or
array is written on one line (objects as ``{ "a": 1 }``, arrays as ``[1,
2]``, as the examples write them) when that line fits the width and the
author did not break the line after its opening bracket; otherwise each
member or element gets a line of its own. The document itself always opens
onto lines of its own. A text that is not one JSON value is left alone:
rewriting it could lose what follows the place where it breaks.
"""

from __future__ import annotations

from lantor_compile.lsp_document import Document
from lantor_compile.lsp_values import Value

WIDTH = 100


def formatted(doc: Document, indent: str, final_newline: bool, width: int = WIDTH) -> str | None:
    """The re-indented text, or None when the text is not one JSON value."""
    tree, root = doc.tree, doc.tree.root
    if root is None or not doc.is_json:
        return None
    data = doc.text.data

    def token(start: int | None, end: int | None) -> str:
        assert start is not None and end is not None
        return data[start:end].decode("utf-8")

    def lead(v: Value) -> str:
        return "" if v.name_start is None else token(v.name_start, v.name_end) + ": "

    # Each value's one-line form, when it has one that fits: children first.
    flat: list[str | None] = [None] * len(tree.values)
    for v in reversed(tree.values):
        if v.kind == "scalar":
            text = token(v.start, v.end)
            flat[v.position] = text if "\n" not in text and len(text) <= width else None
            continue
        children = tree.children(v)
        assert v.start is not None
        if children and b"\n" in data[v.start + 1 : children[0].begin]:
            continue
        pieces, size = [], 0
        for child in children:
            inner = flat[child.position]
            size += 0 if inner is None else len(lead(child)) + len(inner) + 2
            if inner is None or size > width:
                break
            pieces.append(lead(child) + inner)
        else:
            joined = ", ".join(pieces)
            if v.kind == "array":
                flat[v.position] = f"[{joined}]"
            else:
                flat[v.position] = f"{{ {joined} }}" if pieces else "{}"

    lines: list[str] = []

    def emit(v: Value, level: int, trail: str) -> None:
        pad = indent * level
        one_line = flat[v.position]
        if (
            v.kind == "scalar"
            or (
                one_line is not None
                and v is not root
                and len(pad) + len(lead(v)) + len(one_line) + len(trail) <= width
            )
            or not tree.children(v)
        ):
            lines.append(pad + lead(v) + (one_line or token(v.start, v.end)) + trail)
            return
        lines.append(pad + lead(v) + ("{" if v.kind == "object" else "["))
        children = tree.children(v)
        for i, child in enumerate(children):
            emit(child, level + 1, "," if i + 1 < len(children) else "")
        lines.append(pad + ("}" if v.kind == "object" else "]") + trail)

    emit(root, 0, "")
    newline = final_newline or doc.text.source.endswith("\n")
    return "\n".join(lines) + ("\n" if newline else "")
