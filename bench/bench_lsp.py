"""The language server's time from receiving a change to publishing its
diagnostics, the debounce left out, for the examples and for a 50 kB
strategy with about 100 findings.

Two measures for each document, medians over the rounds:

* server: the server's own work for one change, in this process: the
  didChange message decoded and structured as pygls does it, the document's
  findings worked out and placed (``lsp_document``, ``lsp_diagnostics``),
  and the publishDiagnostics notification structured and encoded; with
  check alone beside it;
* round trip: a real server (``lantor-compile lsp --debounce-ms 0``) driven
  over its standard input and output by pygls's client, from sending the
  change to receiving its diagnostics: the server's work plus both pipes and
  the client's own decoding, an upper bound of the server's time.

Each round alternates between two texts that differ by one character, so
that every change is a new version to work out.

Run with the extension of a Release build on the path and the lsp extra
installed:
    PYTHONPATH=build-rel/pkg python3 bench/bench_lsp.py [--rounds N]
"""

from __future__ import annotations

import argparse
import asyncio
import json
import os
import resource
import statistics
import sys
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

from lsprotocol import types
from pygls.lsp.client import LanguageClient
from pygls.protocol import default_converter

from lantor_compile import check
from lantor_compile.lsp_diagnostics import lsp_diagnostics
from lantor_compile.lsp_document import Document

ROOT = Path(__file__).resolve().parents[1]
URI = "file:///bench/strategy.json"
WAIT = 60.0  # seconds for any one answer


def strategy_with_findings(size: int = 50_000, findings: int = 100) -> str:
    """An example grown, formatted as the examples are, to ``size`` bytes, with
    ``findings`` warnings: half of them misspelt members (with a suggestion),
    half operands one edit from a declared indicator."""
    doc: dict[str, Any] = json.loads((ROOT / "examples" / "long_short_momentum.json").read_text())
    i = 0
    while len(json.dumps(doc, indent=2)) < size or i < findings:
        name = f"ind_{i}"
        misspelt = i < findings // 2
        doc["indicators"][name] = {"type": "ema", "parms" if misspelt else "params": [5 + i], "feed": "kline"}
        rule: Any = {"gt": [name, {"prev": [name, 1 + i % 5]}]}
        if findings // 2 <= i < findings:
            rule = {"all": [rule, {"lt": [f"{name}x", {"mul": [name, 1.5]}]}]}
        doc["entry" if i % 2 else "exit"]["all" if i % 2 else "any"].append(rule)
        i += 1
    return json.dumps(doc, indent=2) + "\n"


def change_message(text: str, version: int) -> bytes:
    params = {
        "textDocument": {"uri": URI, "version": version},
        "contentChanges": [{"text": text}],
    }
    return json.dumps({"jsonrpc": "2.0", "method": types.TEXT_DOCUMENT_DID_CHANGE, "params": params}).encode()


def server_work(texts: tuple[str, str], rounds: int) -> tuple[float, float, int]:
    """The median seconds of one change's work in the server, of check alone,
    and the number of diagnostics."""
    converter = default_converter()  # type: ignore[no-untyped-call]  # pygls leaves it untyped
    messages = [change_message(t, v) for v, t in enumerate(texts)]
    found = 0

    def one(version: int) -> None:
        nonlocal found
        message = json.loads(messages[version % 2])
        params = converter.structure(message["params"], types.DidChangeTextDocumentParams)
        change = params.content_changes[0]
        assert isinstance(change, types.TextDocumentContentChangeWholeDocument)
        doc = Document(URI, version, change.text, types.PositionEncodingKind.Utf16)
        published = types.PublishDiagnosticsParams(URI, lsp_diagnostics(doc.text, doc.findings), version)
        notification = types.PublishDiagnosticsNotification(params=published)
        json.dumps(converter.unstructure(notification)).encode()
        found = len(published.diagnostics)

    work = timed(one, rounds)
    checking = timed(lambda version: check(texts[version % 2]), rounds)
    return work, checking, found


def timed(run: Callable[[int], Any], rounds: int) -> float:
    times = []
    for version in range(rounds):
        start = time.perf_counter()
        run(version)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


async def round_trip(texts: tuple[str, str], rounds: int) -> float:
    """The median seconds from sending a change to receiving its diagnostics."""
    client = LanguageClient("bench", "1")
    published: asyncio.Queue[types.PublishDiagnosticsParams] = asyncio.Queue()

    @client.feature(types.TEXT_DOCUMENT_PUBLISH_DIAGNOSTICS)  # type: ignore[untyped-decorator]  # as pygls declares it
    def receive(params: types.PublishDiagnosticsParams) -> None:
        published.put_nowait(params)

    await client.start_io(
        sys.executable, "-m", "lantor_compile", "lsp", "--debounce-ms", "0", preexec_fn=capped
    )
    try:
        await asyncio.wait_for(
            client.initialize_async(types.InitializeParams(types.ClientCapabilities())), WAIT
        )
        client.initialized(types.InitializedParams())
        item = types.TextDocumentItem(URI, "json", 0, texts[0])
        client.text_document_did_open(types.DidOpenTextDocumentParams(item))
        await asyncio.wait_for(published.get(), WAIT)
        times = []
        for version in range(1, rounds + 1):
            start = time.perf_counter()
            client.text_document_did_change(
                types.DidChangeTextDocumentParams(
                    types.VersionedTextDocumentIdentifier(uri=URI, version=version),
                    [types.TextDocumentContentChangeWholeDocument(texts[version % 2])],
                )
            )
            while (await asyncio.wait_for(published.get(), WAIT)).version != version:
                pass
            times.append(time.perf_counter() - start)
        await asyncio.wait_for(client.shutdown_async(None), WAIT)
        client.exit(None)
        return statistics.median(times)
    finally:
        await client.stop()  # type: ignore[no-untyped-call]  # pygls leaves it untyped


def capped() -> None:
    """The server's address space and processor time, bounded."""
    resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
    resource.setrlimit(resource.RLIMIT_CPU, (600, 600))


def variants(text: str) -> tuple[str, str]:
    """The text, and the text with its last digit changed."""
    at = max(i for i, c in enumerate(text) if c.isdigit())
    return text, text[:at] + str((int(text[at]) + 1) % 10) + text[at + 1 :]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=200, help="changes per document (default 200)")
    args = parser.parse_args()
    documents = {
        path.name: path.read_text(encoding="utf-8") for path in sorted((ROOT / "examples").glob("*.json"))
    }
    documents["50 kB, ~100 findings"] = strategy_with_findings()
    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}\n")
    print("| document | bytes | diagnostics | server (ms) | check alone (ms) | round trip (ms) |")
    print("|---|---:|---:|---:|---:|---:|")
    for name, text in documents.items():
        texts = variants(text)
        work, checking, found = server_work(texts, args.rounds)
        trip = asyncio.run(round_trip(texts, args.rounds))
        print(
            f"| {name} | {len(text.encode())} | {found} | {work * 1e3:.2f} | {checking * 1e3:.2f} | {trip * 1e3:.2f} |"
        )
    print(f"\nload average after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
