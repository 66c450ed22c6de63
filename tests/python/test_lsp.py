"""The language server end to end, driven by a real LSP client over stdio:
one test per capability, on the examples and on hand-broken copies of them.

Documents mark the cursor with ‸. Every server runs with its memory and
processor time capped, and every answer is awaited for a bounded time.
"""

from __future__ import annotations

import asyncio
import json
import sys
from collections.abc import AsyncIterator, Awaitable
from pathlib import Path
from typing import TypeVar

import pytest

# The server and its client come with the lsp extra (the test extra brings it).
for _needed in ("pygls", "pytest_lsp"):
    pytest.importorskip(_needed, reason="the language server needs pip install 'lantor_compile[lsp]'")

import pytest_lsp  # noqa: E402
from lsprotocol import types  # noqa: E402
from pygls.exceptions import JsonRpcException  # noqa: E402
from pytest_lsp import ClientServerConfig, LanguageClient  # noqa: E402

from lantor_compile import Compiler, check  # noqa: E402

# The tests of one module share its servers, and so its event loop.
on_loop = pytest.mark.asyncio(loop_scope="module")

EXAMPLES = sorted((Path(__file__).resolve().parents[2] / "examples").glob("*.json"))
TREND = (Path(__file__).resolve().parents[2] / "examples" / "trend_ema_cross.json").read_text(
    encoding="utf-8"
)
MARK = "‸"
WAIT = 60.0  # seconds for any one answer
# The server, with its address space and processor time capped.
LAUNCH = (
    "import resource, sys\n"
    "resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\n"
    "resource.setrlimit(resource.RLIMIT_CPU, (300, 300))\n"
    "from lantor_compile.cli import main\n"
    "sys.exit(main(['lsp', '--debounce-ms', sys.argv[1]]))\n"
)
T = TypeVar("T")


def server(debounce_ms: int) -> ClientServerConfig:
    return ClientServerConfig(server_command=[sys.executable, "-c", LAUNCH, str(debounce_ms)])


async def start(client: LanguageClient, encodings: list[str] | None = None) -> None:
    general = types.GeneralClientCapabilities(position_encodings=encodings) if encodings else None
    await bounded(
        client.initialize_session(types.InitializeParams(types.ClientCapabilities(general=general)))
    )


@pytest_lsp.fixture(config=server(0), scope="module")  # type: ignore[untyped-decorator]  # pytest-lsp declares no types
async def client(lsp_client: LanguageClient) -> AsyncIterator[None]:
    await start(lsp_client)
    yield
    await bounded(lsp_client.shutdown_session())


async def bounded(work: Awaitable[T]) -> T:
    return await asyncio.wait_for(work, WAIT)


def broken(old: str, new: str, text: str = TREND) -> str:
    assert old in text
    return text.replace(old, new, 1)


def cursor(marked: str) -> tuple[str, types.Position]:
    """The text without its mark, and the mark's position in UTF-16 units."""
    before, _, after = marked.partition(MARK)
    line = before.count("\n")
    column = len(before.rsplit("\n", 1)[-1].encode("utf-16-le")) // 2
    return before + after, types.Position(line, column)


def offset_of(text: str, position: types.Position) -> int:
    """The index in ``text`` of a position counted in UTF-16 units."""
    start = sum(len(line) + 1 for line in text.split("\n")[: position.line])
    units, i = 0, start
    while units < position.character:
        units += 2 if ord(text[i]) > 0xFFFF else 1
        i += 1
    return i


def applied(text: str, edits: list[types.TextEdit]) -> str:
    for edit in sorted(edits, key=lambda e: (e.range.start.line, e.range.start.character), reverse=True):
        text = (
            text[: offset_of(text, edit.range.start)]
            + edit.new_text
            + text[offset_of(text, edit.range.end) :]
        )
    return text


def in_range(text: str, where: types.Range) -> str:
    return text[offset_of(text, where.start) : offset_of(text, where.end)]


_opened = 0


async def opened(client: LanguageClient, text: str) -> tuple[str, list[types.Diagnostic]]:
    """A new document with the text, and the diagnostics published for it."""
    global _opened
    _opened += 1
    uri = f"file:///strategies/s{_opened}.json"
    waiting = client.protocol.wait_for_notification_async(types.TEXT_DOCUMENT_PUBLISH_DIAGNOSTICS)
    client.text_document_did_open(
        types.DidOpenTextDocumentParams(types.TextDocumentItem(uri, "json", 1, text))
    )
    published: types.PublishDiagnosticsParams = await bounded(waiting)
    assert (published.uri, published.version) == (uri, 1)
    return uri, list(published.diagnostics)


def doc(uri: str) -> types.TextDocumentIdentifier:
    return types.TextDocumentIdentifier(uri)


def dry_run(strategy: str) -> str:
    return Compiler().command(
        '{"cmd":"compile","spec":{"strategy":' + strategy + ',"target":{"kind":"wasm"}},"dry_run":true}'
    )


DIAGNOSED = [
    # (text, [(code, severity, the text of its range)])
    *[(path.read_text(encoding="utf-8"), []) for path in EXAMPLES],
    (
        broken('"stop_loss_pct"', '"stop_los_pct"'),
        [("unknown-member", types.DiagnosticSeverity.Warning, '"stop_los_pct"')],
    ),
    (broken('"warmup": 200', '"warmup": -1'), [("invalid-value", types.DiagnosticSeverity.Error, "-1")]),
    (broken('"4h",', '"4h"'), [("syntax", types.DiagnosticSeverity.Error, '"')]),
]


@on_loop
async def test_diagnostics_on_open_and_on_change(client: LanguageClient) -> None:
    for text, expected in DIAGNOSED:
        uri, found = await opened(client, text)
        got = [(d.code, d.severity, in_range(text, d.range)) for d in found]
        assert got == expected
        assert all(d.source == "lantor-compile" for d in found)
    # The last one, mended: its diagnostics go.
    waiting = client.protocol.wait_for_notification_async(types.TEXT_DOCUMENT_PUBLISH_DIAGNOSTICS)
    client.text_document_did_change(
        types.DidChangeTextDocumentParams(
            types.VersionedTextDocumentIdentifier(uri=uri, version=2),
            [types.TextDocumentContentChangeWholeDocument(TREND)],
        )
    )
    published = await bounded(waiting)
    assert (published.uri, published.version, list(published.diagnostics)) == (uri, 2, [])


@pytest_lsp.fixture(config=server(1000), scope="module")  # type: ignore[untyped-decorator]  # pytest-lsp declares no types
async def slow_client(lsp_client: LanguageClient) -> AsyncIterator[None]:
    await start(lsp_client)
    yield
    await bounded(lsp_client.shutdown_session())


@on_loop
async def test_a_burst_of_changes_is_diagnosed_once(slow_client: LanguageClient) -> None:
    uri, _ = await opened(slow_client, TREND)
    waiting = slow_client.protocol.wait_for_notification_async(types.TEXT_DOCUMENT_PUBLISH_DIAGNOSTICS)
    for version in (2, 3, 4):
        slow_client.text_document_did_change(
            types.DidChangeTextDocumentParams(
                types.VersionedTextDocumentIdentifier(uri=uri, version=version),
                [types.TextDocumentContentChangeWholeDocument(broken('"4h"', f'"{version}h"'))],
            )
        )
    published = await bounded(waiting)
    assert (published.uri, published.version) == (uri, 4)


COMPLETED = [
    # (marked text, the labels offered, whether those are all)
    (broken('{ "type": "ema", "params": [12], "feed": "kline" }', "{ ‸ }"), {"type", "params", "feed"}, True),
    (broken('"params": [200] }', '"params": [200], "‸ }'), {"feed"}, True),
    (
        broken('\n  "spec_version": 1,', "\n  ‸"),
        {"spec_version", "ref_symbol", "short_entry", "short_exit"},
        True,
    ),
    (
        broken('{ "gt": [{ "price"', '{ ‸ }, { "gt": [{ "price"'),
        {"gt", "cross_above", "not", "bars_since_entry"},
        False,
    ),
    (broken('"order_type": "market"', '"order_type": "‸"'), {"market", "limit", "stop", "stop_limit"}, True),
    (broken('"fixed_fraction", "fraction": 0.25', '"vol_target", ‸'), {"target_vol", "lookback"}, True),
    (
        broken('"type": "fixed_fraction"', '"type": "fix‸ed_fraction"'),
        {"fixed_fraction", "fixed_qty", "fixed_cash", "vol_target", "risk_per_trade"},
        True,
    ),
    (broken('["ema_fast", "ema_slow"]', '["ema_‸'), {"ema_fast", "ema_slow", "ema_trend"}, True),
    (broken('["ema_fast", "ema_slow"]', '["ema_fast", ‸]'), {"ema_slow", '{"price": "hlc3"}'}, False),
    # Right after a value, nothing can follow but a comma.
    (broken('"warmup": 200', '"warmup": 200‸'), set(), True),
]


@pytest.mark.parametrize(("marked", "labels", "whole"), COMPLETED)
@on_loop
async def test_completion(client: LanguageClient, marked: str, labels: set[str], whole: bool) -> None:
    text, position = cursor(marked)
    uri, _ = await opened(client, text)
    found = await bounded(client.text_document_completion_async(types.CompletionParams(doc(uri), position)))
    assert isinstance(found, types.CompletionList)
    offered = {item.label for item in found.items}
    assert offered == labels if whole else offered >= labels


WRITTEN = [
    # (marked text, the label chosen, the text it leaves)
    (broken('"stop_loss_pct"', '"stop_lo‸"'), "stop_loss_pct", TREND),
    (
        broken('"stop_loss_pct": 4.0', '"stop_lo‸'),
        "stop_loss_pct",
        broken('"stop_loss_pct": 4.0', '"stop_loss_pct": '),
    ),
    (broken('["ema_fast", "ema_slow"] },', '["ema_f‸", "ema_slow"] },'), "ema_fast", TREND),
    (broken('"market"', "‸"), "stop_limit", broken('"market"', '"stop_limit"')),
]


@pytest.mark.parametrize(("marked", "label", "written"), WRITTEN)
@on_loop
async def test_a_completion_writes_over_the_token_being_typed(
    client: LanguageClient, marked: str, label: str, written: str
) -> None:
    text, position = cursor(marked)
    uri, _ = await opened(client, text)
    found = await bounded(client.text_document_completion_async(types.CompletionParams(doc(uri), position)))
    assert isinstance(found, types.CompletionList)
    [item] = [item for item in found.items if item.label == label]
    assert isinstance(item.text_edit, types.TextEdit)
    assert applied(text, [item.text_edit]) == written


HOVERED = [
    # (marked text, what the hover says)
    (broken('"stop_loss_pct"', '"stop_lo‸ss_pct"'), ["`stop_loss_pct`: `f64?`", "stop-loss distance"]),
    (broken('"cross_above"', '"cross_‸above"'), ["`cross_above`", "Crosses above"]),
    (broken('["ema_fast", "ema_slow"] },', '["ema_f‸ast", "ema_slow"] },'), ['"ema_fast": { "type": "ema"']),
    (broken('"feed": "kline" },\n', '"feed": "kl‸ine" },\n'), ["Klines"]),
    (broken('"type": "fixed_fraction"', '"type": "fixed_‸fraction"'), ["fraction of equity"]),
]


@pytest.mark.parametrize(("marked", "said"), HOVERED)
@on_loop
async def test_hover(client: LanguageClient, marked: str, said: list[str]) -> None:
    text, position = cursor(marked)
    uri, _ = await opened(client, text)
    found = await bounded(client.text_document_hover_async(types.HoverParams(doc(uri), position)))
    assert found is not None and isinstance(found.contents, types.MarkupContent)
    assert all(s in found.contents.value for s in said), found.contents.value


@on_loop
async def test_definition_references_and_rename(client: LanguageClient) -> None:
    text, position = cursor(broken('["ema_fast", "ema_slow"] },', '["ema_f‸ast", "ema_slow"] },'))
    uri, _ = await opened(client, text)
    definition = await bounded(
        client.text_document_definition_async(types.DefinitionParams(doc(uri), position))
    )
    assert isinstance(definition, list) and [in_range(text, d.range) for d in definition] == ['"ema_fast"']
    assert definition[0].range.start.line == 5
    for with_declaration, count in ((True, 3), (False, 2)):
        found = await bounded(
            client.text_document_references_async(
                types.ReferenceParams(
                    context=types.ReferenceContext(with_declaration),
                    text_document=doc(uri),
                    position=position,
                )
            )
        )
        assert found is not None and [in_range(text, r.range) for r in found] == ['"ema_fast"'] * count
    prepared = await bounded(
        client.text_document_prepare_rename_async(types.PrepareRenameParams(doc(uri), position))
    )
    assert isinstance(prepared, types.PrepareRenamePlaceholder) and prepared.placeholder == "ema_fast"
    edit = await bounded(
        client.text_document_rename_async(types.RenameParams(doc(uri), position, 'fast "🚀"'))
    )
    assert edit is not None and edit.changes is not None
    # Exactly the key and the references change, and the document stays sound.
    assert applied(text, list(edit.changes[uri])) == text.replace('"ema_fast"', '"fast \\"🚀\\""')
    assert check(applied(text, list(edit.changes[uri]))) == []
    # A name that is already declared is refused; what is no indicator cannot be renamed.
    with pytest.raises(JsonRpcException, match="declared already"):
        await bounded(client.text_document_rename_async(types.RenameParams(doc(uri), position, "ema_slow")))
    not_a_name = cursor(broken('"symbol"', '"sym‸bol"'))[1]
    assert (
        await bounded(
            client.text_document_prepare_rename_async(types.PrepareRenameParams(doc(uri), not_a_name))
        )
        is None
    )


FIXED = [
    # (broken text, the titles of its fixes, the text the first one leaves when known)
    (broken('"stop_loss_pct"', '"stop_los_pct"'), ['Replace with "stop_loss_pct"'], TREND),
    (broken('"fixed_fraction"', '"fixed_fractoin"'), ['Replace with "fixed_fraction"'], TREND),
    (
        broken('["ema_fast", "ema_slow"] },', '["ema_fsat", "ema_slow"] },'),
        ['Replace with "ema_fast"', 'Declare indicator "ema_fsat"'],
        TREND,
    ),
    (
        broken('"ema_trend"] }\n    ]\n  },\n  "exit"', '"rsi"] }\n    ]\n  },\n  "exit"'),
        ['Declare indicator "rsi"'],
        None,
    ),
]


@pytest.mark.parametrize(("text", "titles", "fixed"), FIXED)
@on_loop
async def test_quick_fixes(client: LanguageClient, text: str, titles: list[str], fixed: str | None) -> None:
    uri, [warning] = await opened(client, text)
    actions = await bounded(
        client.text_document_code_action_async(
            types.CodeActionParams(doc(uri), warning.range, types.CodeActionContext([warning]))
        )
    )
    assert actions is not None
    edits = []
    for action in actions:
        assert isinstance(action, types.CodeAction) and action.edit is not None and action.edit.changes
        assert list(action.diagnostics or []) == [warning]
        edits.append(list(action.edit.changes[uri]))
    assert [a.title for a in actions if isinstance(a, types.CodeAction)] == titles
    # Every fix leaves a document without a warning.
    assert all(check(applied(text, e)) == [] for e in edits)
    assert fixed is None or applied(text, edits[0]) == fixed


@on_loop
async def test_document_symbols(client: LanguageClient) -> None:
    uri, _ = await opened(client, TREND)
    found = await bounded(client.text_document_document_symbol_async(types.DocumentSymbolParams(doc(uri))))
    assert found is not None
    outline = [
        (s.name, s.detail, [c.name for c in s.children or []])
        for s in found
        if isinstance(s, types.DocumentSymbol)
    ]
    assert outline == [
        ("indicators", "3 declared", ["ema_fast", "ema_slow", "ema_trend"]),
        ("entry", "all", []),
        ("exit", "any", []),
    ]


FORMATTED = [
    *[path.read_text(encoding="utf-8") for path in EXAMPLES],
    # Minified, with spellings the canonical text changes: 1.0, an escape, a repeated member.
    json.dumps(json.loads(TREND), separators=(",", ":"))
    .replace('"4h"', '"4\\u0068"')
    .replace("200}", '200.0,"warmup":1e2}'),
    # Not a valid strategy, still JSON: formatted all the same.
    broken('"stop_loss_pct"', '"stop_los_pct"').replace("\n", "\n\t\t"),
]


@pytest.mark.parametrize("text", FORMATTED)
@on_loop
async def test_formatting_keeps_every_token(client: LanguageClient, text: str) -> None:
    uri, _ = await opened(client, text)
    options = types.FormattingOptions(tab_size=2, insert_spaces=True)
    edits = await bounded(
        client.text_document_formatting_async(types.DocumentFormattingParams(doc(uri), options))
    )
    assert edits is not None
    after = applied(text, list(edits))
    # The same canonical text and spec hash: the same dry-run answer, byte for byte.
    assert dry_run(after) == dry_run(text)
    assert [(d.code, d.message) for d in check(after)] == [(d.code, d.message) for d in check(text)]
    # And formatting what is formatted changes nothing.
    again, _ = await opened(client, after)
    unchanged = await bounded(
        client.text_document_formatting_async(types.DocumentFormattingParams(doc(again), options))
    )
    assert unchanged is not None and list(unchanged) == []


@on_loop
async def test_text_that_is_not_json_is_not_formatted(client: LanguageClient) -> None:
    uri, _ = await opened(client, TREND + "x")
    options = types.FormattingOptions(tab_size=2, insert_spaces=True)
    assert (
        await bounded(
            client.text_document_formatting_async(types.DocumentFormattingParams(doc(uri), options))
        )
        is None
    )


# A line holding characters outside the Basic Multilingual Plane before an
# error: the error's column is 38 in UTF-16 units, 34 in code points and 48 in bytes.
ASTRAL = broken('"symbol": "BTC-USDT",\n  "timeframe": "4h"', '"symbol": "😀🚀€𠀀𠀁", "timeframe": 4')


@pytest_lsp.fixture(config=server(0), scope="module", params=[None, "utf-8", "utf-32"])  # type: ignore[untyped-decorator]  # pytest-lsp declares no types
async def encoded_client(lsp_client: LanguageClient, request: pytest.FixtureRequest) -> AsyncIterator[None]:
    await start(lsp_client, None if request.param is None else [request.param])
    yield
    await bounded(lsp_client.shutdown_session())


@on_loop
async def test_positions_follow_the_agreed_encoding(encoded_client: LanguageClient) -> None:
    assert encoded_client.capabilities is not None
    offered = encoded_client.capabilities.general
    encoding = offered.position_encodings[0] if offered and offered.position_encodings else "utf-16"
    column = {"utf-16": 38, "utf-32": 34, "utf-8": 48}[encoding]
    uri, found = await opened(encoded_client, ASTRAL)
    [error] = found
    assert (error.code, error.range.start, error.range.end) == (
        "invalid-type",
        types.Position(2, column),
        types.Position(2, column + 1),
    )
    # The way back: a hover on that value, asked at the same column.
    hovered = await bounded(
        encoded_client.text_document_hover_async(types.HoverParams(doc(uri), error.range.start))
    )
    assert hovered is not None and isinstance(hovered.contents, types.MarkupContent)
    assert "`timeframe`: `string`" in hovered.contents.value
