"""Python pipelines doing the work of a dry-run compile, and the floor.

A peer starts from the same command text as the compiler: it parses it,
validates the request and strategy shapes with the validator of
bench/models.py, dumps the strategy (and an inline dataset) with sorted keys
and no whitespace, hashes the hashed form (the large dataset text streamed
into the digest, not dumped twice), every file and the listing, and dumps the
response with the same library. The fixed project files stand in as byte
strings of the sizes the compiler reports for them; the main source, the same
text for every command of a target, is digested once, as the compiler does.

The floor is SHA-256 over exactly the bytes any implementation has to hash:
every generated file and the hashed form.
"""

from __future__ import annotations

import hashlib
import json
from collections.abc import Callable
from typing import Any

import orjson
from models import COMPILE_REQ


def dump_json(value: Any) -> bytes:
    return json.dumps(value, sort_keys=True, separators=(",", ":"), ensure_ascii=False).encode()


def dump_orjson(value: Any) -> bytes:
    return orjson.dumps(value, option=orjson.OPT_SORT_KEYS)


def dump_json_in_order(value: Any) -> bytes:
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False).encode()


# The main sources: constant per target, so their digests are kept.
CONSTANT_FILES = ("src/lib.rs", "src/main.rs")


def hashed_form_pieces(
    spec: dict[str, Any], strategy_bytes: bytes, candles_bytes: bytes | None, dump: Callable[[Any], bytes]
) -> list[bytes]:
    """The hashed form in pieces, members in byte order of their names."""
    pieces = [b"{"]
    if spec.get("crate_name") is not None:
        pieces.append(b'"crate_name":' + dump(spec["crate_name"]) + b",")
    data = spec.get("embed_data")
    if data is not None:
        if data["kind"] == "csv":
            pieces.append(b'"embed_data":{"kind":"csv","path":' + dump(data["path"]) + b"},")
        else:
            pieces += [b'"embed_data":{"candles":', candles_bytes or b"", b',"kind":"inline"},']
    pieces.append(b'"opt_level":' + dump(spec.get("opt_level") or "release") + b',"strategy":')
    pieces.append(strategy_bytes)
    pieces.append(b',"target":' + dump(spec["target"]) + b"}")
    return pieces


class Pipeline:
    """One peer: `parse`, `dump` (sorted keys) and `dump_in_order` are the
    JSON library's."""

    def __init__(
        self,
        parse: Callable[[str], Any],
        dump: Callable[[Any], bytes],
        dump_in_order: Callable[[Any], bytes],
        fixed_files: dict[str, int],
    ) -> None:
        self.parse = parse
        self.dump = dump
        self.dump_in_order = dump_in_order
        self.fixed = {path: b"x" * size for path, size in fixed_files.items()}
        self.known_digests = {
            path: hashlib.sha256(text).hexdigest()
            for path, text in self.fixed.items()
            if path in CONSTANT_FILES
        }

    def files_and_form(self, text: str) -> tuple[dict[str, Any], dict[str, bytes], list[bytes]]:
        request = self.parse(text)
        COMPILE_REQ.validate_python(request)
        spec = request["spec"]
        files = dict(self.fixed)
        files["src/spec.json"] = self.dump(spec["strategy"])
        candles = None
        if spec.get("embed_data") is not None and spec["embed_data"]["kind"] == "inline":
            candles = files["src/candles.json"] = self.dump(spec["embed_data"]["candles"])
        return spec, files, hashed_form_pieces(spec, files["src/spec.json"], candles, self.dump)

    def __call__(self, text: str) -> str:
        spec, files, form = self.files_and_form(text)
        digest = hashlib.sha256()
        for piece in form:
            digest.update(piece)
        known = self.known_digests
        entries = [
            {"path": p, "sha256": known.get(p) or hashlib.sha256(b).hexdigest(), "bytes_len": len(b)}
            for p, b in sorted(files.items())
        ]
        listing = "".join(f"{e['path']}\n{e['sha256']}\n" for e in entries)
        manifest = {
            "compiler_version": "0.1.2",
            "target": spec["target"],
            "opt_level": "release",
            "crate_name": "btc_usdt",
            "spec_hash": digest.hexdigest(),
            "backtest_dep": "0.1.5",
            "files": entries,
            "project_hash": hashlib.sha256(listing.encode()).hexdigest(),
        }
        return self.dump_in_order({"target": spec["target"], "manifest": manifest, "built": False}).decode()


def json_peer(fixed_files: dict[str, int]) -> Pipeline:
    return Pipeline(json.loads, dump_json, dump_json_in_order, fixed_files)


def orjson_peer(fixed_files: dict[str, int]) -> Pipeline:
    return Pipeline(orjson.loads, dump_orjson, orjson.dumps, fixed_files)


def hash_floor(pieces: list[bytes]) -> Callable[[], None]:
    """SHA-256 over every file and the hashed form; `pieces` holds the files
    first, then the hashed form's pieces, whose digest is one."""

    def run() -> None:
        for piece in pieces:
            hashlib.sha256(piece).digest()

    return run


def floor_pieces(text: str, fixed_files: dict[str, int]) -> list[bytes]:
    _, files, form = orjson_peer(fixed_files).files_and_form(text)
    # The hashed form is one digest; its pieces are joined here, outside the
    # timing, so the floor counts only hashing.
    return list(files.values()) + [b"".join(form)]


def rejecting_peer(parse: Callable[[str], Any]) -> Callable[[str], None]:
    def run(text: str) -> None:
        try:
            parse(text)
        except ValueError:
            return
        raise AssertionError("the broken command parsed")

    return run


def read_and_hash(path: str) -> None:
    with open(path, "rb") as f:
        hashlib.sha256(f.read()).hexdigest()
