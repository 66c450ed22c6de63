"""Document symbols, for an editor's outline: the indicators, each with its
kind, and the rules (entry, exit and their short counterparts), each with
its operator."""

from __future__ import annotations

from lsprotocol import types

from lantor_compile.lsp_document import Document
from lantor_compile.lsp_values import Value

RULES = ("entry", "exit", "short_entry", "short_exit")


def symbols(doc: Document) -> list[types.DocumentSymbol]:
    tree, root = doc.tree, doc.tree.root
    if root is None:
        return []
    wanted: list[tuple[Value, str, str | None, types.SymbolKind, list[Value]]] = []
    for child in tree.children(root):
        part = doc.slots[child.position][1]
        if part is None or part.role != "member" or child.end is None or child.name_start is None:
            continue
        if child is doc.indicators.block:
            entries = [e for e in tree.children(child) if e.end is not None and e.name is not None]
            wanted.append((child, part.name, f"{len(entries)} declared", types.SymbolKind.Namespace, entries))
        elif part.name in RULES and child.kind == "object":
            operator = next((c.name for c in tree.children(child)), None)
            wanted.append((child, part.name, operator, types.SymbolKind.Event, []))
    spans = [_spans(v) for v, *_ in wanted]
    spans += [_spans(e) for *_, entries in wanted for e in entries]
    ranges = iter(doc.text.ranges([s for pair in spans for s in pair]))
    out = [_symbol(name, detail, kind, next(ranges), next(ranges)) for _, name, detail, kind, _ in wanted]
    for symbol, (*_, entries) in zip(out, wanted, strict=True):
        symbol.children = [
            _symbol(e.name or "", _kind_of(doc, e), types.SymbolKind.Variable, next(ranges), next(ranges))
            for e in entries
        ]
    return out


def _spans(value: Value) -> tuple[tuple[int, int], tuple[int, int]]:
    """The whole member, and its name."""
    assert value.name_start is not None and value.name_end is not None and value.end is not None
    return (value.name_start, value.end), (value.name_start, value.name_end)


def _symbol(
    name: str, detail: str | None, kind: types.SymbolKind, whole: types.Range, selection: types.Range
) -> types.DocumentSymbol:
    return types.DocumentSymbol(name=name, kind=kind, range=whole, selection_range=selection, detail=detail)


def _kind_of(doc: Document, indicator: Value) -> str | None:
    """An indicator's kind, its `type`, when written as a string."""
    if indicator.kind == "object":
        found = doc.tree.member(indicator, "type")
        return None if found is None else found.string
    first = next(iter(doc.tree.children(indicator)), None) if indicator.kind == "array" else None
    return None if first is None else first.string
