"""Quick fixes: the checker's suggestion put in place of the token at fault
(a misspelt member or variant, an operand one edit from a declared
indicator), and the declaration of an indicator that a rule reads but
nothing declares."""

from __future__ import annotations

import json

from lsprotocol import types

from lantor_compile.lsp_diagnostics import lsp_diagnostics, span
from lantor_compile.lsp_document import Document
from lantor_compile.lsp_indicators import declaration_insert

UNDECLARED = "undeclared-indicator"


def code_actions(doc: Document, start: int, end: int) -> list[types.CodeAction]:
    """The fixes for the findings whose token meets the byte span [start, end]."""
    findings = [f for f in doc.findings if span(f)[0] <= end and start <= span(f)[1]]
    actions = []
    for finding, diagnostic in zip(findings, lsp_diagnostics(doc.text, findings), strict=True):
        if finding.suggestion is not None:
            actions.append(
                _fix(
                    doc,
                    f"Replace with {finding.suggestion}",
                    diagnostic,
                    [(span(finding), finding.suggestion)],
                )
            )
            actions[-1].is_preferred = True
        if finding.code == UNDECLARED:
            name = _operand_name(doc, finding.offset)
            insert = (
                None if name is None else declaration_insert(doc.tree, doc.indicators, doc.text.data, name)
            )
            if insert is not None:
                at, text = insert
                title = f"Declare indicator {json.dumps(name, ensure_ascii=False)}"
                actions.append(_fix(doc, title, diagnostic, [((at, at), text)]))
    return actions


def _operand_name(doc: Document, offset: int) -> str | None:
    at = doc.tree.at(offset)
    return None if at is None or at[1] else at[0].string


def _fix(
    doc: Document, title: str, diagnostic: types.Diagnostic, edits: list[tuple[tuple[int, int], str]]
) -> types.CodeAction:
    ranges = doc.text.ranges([where for where, _ in edits])
    return types.CodeAction(
        title=title,
        kind=types.CodeActionKind.QuickFix,
        diagnostics=[diagnostic],
        edit=types.WorkspaceEdit(
            changes={doc.uri: [types.TextEdit(r, text) for r, (_, text) in zip(ranges, edits, strict=True)]}
        ),
    )
