"""The checker's findings as an editor's diagnostics: the range of the
offending token (a member's name, a value, a container's opening bracket),
the severity, the finding's code, and its help after the message."""

from __future__ import annotations

from lsprotocol import types

from lantor_compile.diagnostics import Diagnostic
from lantor_compile.lsp_text import Text

SOURCE = "lantor-compile"

_SEVERITY = {"error": types.DiagnosticSeverity.Error, "warning": types.DiagnosticSeverity.Warning}


def span(finding: Diagnostic) -> tuple[int, int]:
    return finding.offset, finding.offset + finding.length


def lsp_diagnostics(text: Text, findings: list[Diagnostic]) -> list[types.Diagnostic]:
    """Every finding, placed in one pass over the text."""
    ranges = text.ranges([span(f) for f in findings])
    return [
        types.Diagnostic(
            range=where,
            message=f.message if f.help is None else f"{f.message}\nhelp: {f.help}",
            severity=_SEVERITY[f.severity],
            code=f.code,
            source=SOURCE,
        )
        for f, where in zip(findings, ranges, strict=True)
    ]
