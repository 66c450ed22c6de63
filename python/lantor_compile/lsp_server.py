"""The language server for strategy documents (``lantor-compile lsp``), on
standard input and output, built on pygls.

Diagnostics are published when a document opens and, a short while after
the last of a burst of changes (the debounce), once it changes; every other
answer is worked out on the version the request sees. Each version's
findings, values and types are worked out once (``lsp_document``).

The client sends the whole text on every change: lines are counted at line
feeds here, as everywhere in the package, and applying ranged edits would
need pygls's own line splitting, which counts more characters as line ends
(U+2028 in a string, for one) than an editor does.
"""

from __future__ import annotations

import asyncio
import json
from typing import Any

from lsprotocol import types
from pygls.exceptions import JsonRpcException
from pygls.lsp.server import LanguageServer

from lantor_compile._lantor_compile import __version__
from lantor_compile.lsp_actions import code_actions
from lantor_compile.lsp_complete import Declared, completions
from lantor_compile.lsp_context import context_at
from lantor_compile.lsp_diagnostics import lsp_diagnostics
from lantor_compile.lsp_document import Document
from lantor_compile.lsp_format import formatted
from lantor_compile.lsp_hover import hover_at
from lantor_compile.lsp_indicators import name_at, occurrences, string_content, token_span
from lantor_compile.lsp_markdown import definition
from lantor_compile.lsp_symbols import symbols

NAME = "lantor-compile"
DEFAULT_DEBOUNCE = 0.15  # seconds
# The LSP error code for a request that was valid but could not be carried out.
REQUEST_FAILED = -32803


class StrategyServer(LanguageServer):
    def __init__(self, debounce: float = DEFAULT_DEBOUNCE) -> None:
        super().__init__(NAME, __version__, text_document_sync_kind=types.TextDocumentSyncKind.Full)
        self.debounce = debounce
        self._documents: dict[str, tuple[str, Document]] = {}
        self._waiting: dict[str, asyncio.TimerHandle] = {}

    def document(self, uri: str) -> Document:
        """The document as the client last sent it, worked out once per version."""
        sent = self.workspace.get_text_document(uri)
        kept = self._documents.get(uri)
        if kept is None or kept[0] is not sent.source or kept[1].version != sent.version:
            encoding = self.workspace.position_encoding or types.PositionEncodingKind.Utf16
            kept = (sent.source, Document(uri, sent.version, sent.source, encoding))
            self._documents[uri] = kept
        return kept[1]

    def publish(self, uri: str) -> None:
        self._waiting.pop(uri, None)
        doc = self.document(uri)
        self.text_document_publish_diagnostics(
            types.PublishDiagnosticsParams(uri, lsp_diagnostics(doc.text, doc.findings), doc.version)
        )

    def publish_later(self, uri: str) -> None:
        """Publishes once no change has come for the debounce's length."""
        waiting = self._waiting.pop(uri, None)
        if waiting is not None:
            waiting.cancel()
        if self.debounce <= 0:
            self.publish(uri)
        else:
            self._waiting[uri] = asyncio.get_running_loop().call_later(self.debounce, self.publish, uri)

    def forget(self, uri: str) -> None:
        waiting = self._waiting.pop(uri, None)
        if waiting is not None:
            waiting.cancel()
        self._documents.pop(uri, None)
        self.text_document_publish_diagnostics(types.PublishDiagnosticsParams(uri, []))


def failed(message: str) -> JsonRpcException:
    return JsonRpcException(message, REQUEST_FAILED)


def build(debounce: float = DEFAULT_DEBOUNCE) -> StrategyServer:
    """The server with every feature registered."""
    server = StrategyServer(debounce)

    @server.feature(types.TEXT_DOCUMENT_DID_OPEN)
    def did_open(ls: StrategyServer, params: types.DidOpenTextDocumentParams) -> None:
        ls.publish(params.text_document.uri)

    @server.feature(types.TEXT_DOCUMENT_DID_CHANGE)
    def did_change(ls: StrategyServer, params: types.DidChangeTextDocumentParams) -> None:
        ls.publish_later(params.text_document.uri)

    @server.feature(types.TEXT_DOCUMENT_DID_CLOSE)
    def did_close(ls: StrategyServer, params: types.DidCloseTextDocumentParams) -> None:
        ls.forget(params.text_document.uri)

    @server.feature(types.TEXT_DOCUMENT_COMPLETION, types.CompletionOptions(trigger_characters=['"']))
    def completion(ls: StrategyServer, params: types.CompletionParams) -> types.CompletionList:
        doc = ls.document(params.text_document.uri)
        data = doc.text.data
        context = context_at(data, doc.text.offset(params.position), doc.model)
        if context is None:
            return types.CompletionList(is_incomplete=False, items=[])
        declared: list[Declared] = []
        for name, value in doc.indicators.declared.items():
            kind = doc.tree.member(value, "type") if value.kind == "object" else None
            declared.append((name, None if kind is None else kind.string, definition(value, data)))
        items = completions(context, doc.model, declared, doc.text.range(*context.replace))
        return types.CompletionList(is_incomplete=False, items=items)

    @server.feature(types.TEXT_DOCUMENT_HOVER)
    def hover(ls: StrategyServer, params: types.HoverParams) -> types.Hover | None:
        doc = ls.document(params.text_document.uri)
        found = hover_at(doc, doc.text.offset(params.position))
        if found is None:
            return None
        shown, where = found
        return types.Hover(types.MarkupContent(types.MarkupKind.Markdown, shown), doc.text.range(*where))

    @server.feature(types.TEXT_DOCUMENT_DEFINITION)
    def go_to_definition(ls: StrategyServer, params: types.DefinitionParams) -> list[types.Location]:
        doc = ls.document(params.text_document.uri)
        found = name_at(doc.tree, doc.indicators, doc.text.offset(params.position))
        declared = None if found is None else doc.indicators.declared.get(found[0])
        if declared is None:
            return []
        return [types.Location(doc.uri, doc.text.range(*token_span(declared, True)))]

    @server.feature(types.TEXT_DOCUMENT_REFERENCES)
    def references(ls: StrategyServer, params: types.ReferenceParams) -> list[types.Location]:
        doc = ls.document(params.text_document.uri)
        found = name_at(doc.tree, doc.indicators, doc.text.offset(params.position))
        if found is None:
            return []
        spans = occurrences(doc.indicators, found[0], params.context.include_declaration)
        return [types.Location(doc.uri, r) for r in doc.text.ranges(spans)]

    @server.feature(types.TEXT_DOCUMENT_PREPARE_RENAME)
    def prepare_rename(ls: StrategyServer, params: types.PrepareRenameParams) -> Any:
        doc = ls.document(params.text_document.uri)
        found = _renamable(doc, doc.text.offset(params.position))
        if found is None:
            return None
        name, span = found
        return types.PrepareRenamePlaceholder(doc.text.range(span[0] + 1, span[1] - 1), name)

    @server.feature(types.TEXT_DOCUMENT_RENAME)
    def rename(ls: StrategyServer, params: types.RenameParams) -> types.WorkspaceEdit | None:
        doc = ls.document(params.text_document.uri)
        found = _renamable(doc, doc.text.offset(params.position))
        if found is None:
            raise failed("only a declared indicator's name can be renamed, in a document that is JSON")
        name = found[0]
        if params.new_name != name and params.new_name in doc.indicators.declared:
            raise failed(f"an indicator named {json.dumps(params.new_name)} is declared already")
        inner = [(start + 1, end - 1) for start, end in occurrences(doc.indicators, name)]
        content = string_content(params.new_name)
        return types.WorkspaceEdit(
            changes={doc.uri: [types.TextEdit(r, content) for r in doc.text.ranges(inner)]}
        )

    @server.feature(
        types.TEXT_DOCUMENT_CODE_ACTION,
        types.CodeActionOptions(code_action_kinds=[types.CodeActionKind.QuickFix]),
    )
    def code_action(ls: StrategyServer, params: types.CodeActionParams) -> list[types.CodeAction]:
        doc = ls.document(params.text_document.uri)
        return code_actions(doc, doc.text.offset(params.range.start), doc.text.offset(params.range.end))

    @server.feature(types.TEXT_DOCUMENT_DOCUMENT_SYMBOL)
    def document_symbol(ls: StrategyServer, params: types.DocumentSymbolParams) -> list[types.DocumentSymbol]:
        return symbols(ls.document(params.text_document.uri))

    @server.feature(types.TEXT_DOCUMENT_FORMATTING)
    def formatting(ls: StrategyServer, params: types.DocumentFormattingParams) -> list[types.TextEdit] | None:
        doc = ls.document(params.text_document.uri)
        options = params.options
        indent = " " * options.tab_size if options.insert_spaces else "\t"
        text = formatted(doc, indent, bool(options.insert_final_newline))
        if text is None or text == doc.text.source:
            return None if text is None else []
        return [types.TextEdit(doc.text.whole(), text)]

    return server


def _renamable(doc: Document, offset: int) -> tuple[str, tuple[int, int]] | None:
    """The declared indicator named at the offset, and the token naming it
    there, when the whole document can be read to find every reference."""
    if not doc.is_json:
        return None
    found = name_at(doc.tree, doc.indicators, offset)
    return None if found is None or found[0] not in doc.indicators.declared else found


def serve(debounce: float = DEFAULT_DEBOUNCE) -> None:
    """Runs the server on standard input and output until the client ends it."""
    build(debounce).start_io()
