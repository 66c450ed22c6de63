"""One version of an open strategy document and what the server learns of
it, each piece worked out once, when first asked for: the checker's
findings, the located values, the type of each value, the indicators."""

from __future__ import annotations

from functools import cached_property

from lantor_compile.diagnostics import Diagnostic, check
from lantor_compile.lsp_indicators import Indicators, indicators_of
from lantor_compile.lsp_model import Model, Part, model
from lantor_compile.lsp_text import Text
from lantor_compile.lsp_values import Tree


class Document:
    def __init__(self, uri: str, version: int | None, source: str, encoding: str) -> None:
        self.uri = uri
        self.version = version
        self.text = Text(source, encoding)

    @property
    def model(self) -> Model:
        return model()

    @cached_property
    def findings(self) -> list[Diagnostic]:
        return check(self.text.source)

    @cached_property
    def tree(self) -> Tree:
        return Tree.of(self.text.source)

    @cached_property
    def slots(self) -> list[tuple[str | None, Part | None]]:
        return self.model.slots(self.tree)

    @cached_property
    def indicators(self) -> Indicators:
        return indicators_of(self.tree, self.slots, self.model)

    @property
    def is_json(self) -> bool:
        """The text is one JSON value, as a compile reads it (whatever the
        strategy's own errors): nothing in it may be lost by rewriting it."""
        return self.tree.failed_at is None and not any(f.code == "syntax" for f in self.findings)
