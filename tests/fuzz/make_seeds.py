#!/usr/bin/env python3
"""Writes the seed corpus of the dispatcher fuzzer into a directory.

Seeds: the envelope cases and bodiless commands, dry-run compile requests
wrapping every strategy in examples/ for every target (in object and array
spellings, with and without an inline dataset), bad requests of every kind the
readers report, and the JSON parsing suite from tests/data wrapped as a
strategy. Only texts that the harness does not skip are worth seeding, so no
seed reads or writes a file.

Usage: make_seeds.py OUT_DIR
"""

from __future__ import annotations

import hashlib
import json
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# The test data the Python tests share: the minimal strategy and the targets.
sys.path.insert(0, str(ROOT / "tests" / "python"))
from support import MINIMAL_STRATEGY as MINIMAL  # noqa: E402
from support import MCUS, TARGETS  # noqa: E402,F401

ENVELOPES = [
    '{"cmd":"version"}',
    '{"cmd":"targets"}',
    '{"cmd":"reset"}',
    '["version"]',
    '["compile"]',
    '{"cmd":"Version"}',
    '{"cmd":"nope","x":[1,{"a":null}]}',
    '{"cmd":5}',
    '{"cmd":"version","cmd":"version"}',
    "{}",
    "[]",
    "",
    '{"cmd":"version"}x',
    ' \t\r\n{ "cmd" : "vers\\u0069on" } ',
    '{"\\u0063md":"targets","mcus":null}',
    '{"cmd":"compile"}',
    '{"cmd":"compile","spec":[]}',
    '{"cmd":"compile","spec":{"target":{"kind":"wasm"}}}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"arm"}}}',
    '{"cmd":"compile","spec":{"strategy":{},"target":"wasm"}}',
    '{"cmd":"compile","spec":{"strategy":{},"target":["no_std"]},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":["wasm",1]},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":["no_std","a","b"]},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":1e400,"target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":"\\ud800","target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":"\\udc00","target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":"\\ud800\\u0041","target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"opt_level":"fast"},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"opt_level":1},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"opt_level":{"debug":1}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"embed_data":"x.csv"},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"embed_data":{"kind":"inline","candles":{}}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"}},"dry_run":null}',
    '{"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"}},"spec":1}',
    '{"cmd":"compile","spec":{"strategy":[],"target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":"x","target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":{"strategy":{"symbol":"A","timeframe":"1h"},"target":{"kind":"wasm"}},"dry_run":true}',
    '{"cmd":"compile","spec":["s",{"kind":"binary"},"size",null,"c"],"dry_run":true}',
    '["compile",["s",["wasm"]],true]',
    '["artifact_bytes"]',
    '{"cmd":"artifact_bytes"}',
    '{"cmd":"artifact_bytes","path":1}',
    '{"cmd":"artifact_bytes","path":null}',
    '{"cmd":"artifact_bytes","path":"a","path":"b"}',
    '{"cmd":"artifact_bytes","path":"\\ud800x"}',
    '{"cmd":"artifact_bytes","x":1e999,"path":"a"}',
    '["artifact_bytes",1]',
    '{"cmd":"artifact_bytes","path":' + '[' * 130 + ']' * 130 + '}',
]


def compile_text(spec: dict, *, indent: int | None = None) -> bytes:
    text = json.dumps({"cmd": "compile", "spec": spec, "dry_run": True}, indent=indent, ensure_ascii=False)
    return text.encode("utf-8")


def compile_text_raw(strategy: str, target: str, extra: str = "") -> bytes:
    text = '{"cmd":"compile","dry_run":true,"spec":{' + extra + '"target":' + target + ',"strategy":' + strategy + "}}"
    return text.encode("utf-8")


def seeds() -> list[bytes]:
    out = [t.encode("utf-8") for t in ENVELOPES]
    strategies = [MINIMAL]
    for path in sorted((ROOT / "examples").glob("*.json")):
        strategies.append(json.loads(path.read_text(encoding="utf-8")))
    for i, strategy in enumerate(strategies):
        for target in TARGETS:
            out.append(compile_text({"strategy": strategy, "target": target}))
        # Options, spellings and datasets on a few targets only.
        out.append(compile_text({"strategy": strategy, "target": TARGETS[i % 3], "opt_level": "debug",
                                 "crate_name": "my_crate", "embed_data": {"kind": "inline",
                                 "candles": [[1, 2.5, -3, 1e-7, "x"], {"t": 0}]}}, indent=1))
        out.append(compile_text({"strategy": strategy, "target": ["no_std", MCUS[i % 7]],
                                 "opt_level": {"size": None}}))
        out.append(compile_text({"strategy": list(strategy.values()), "target": {"kind": "binary"},
                                 "crate_name": "arr"}))
        broken = dict(strategy)
        broken["sizing"] = {"type": "nope"}
        out.append(compile_text({"strategy": broken, "target": {"kind": "wasm"}}))
    out.append(compile_text({"strategy": MINIMAL, "target": {"kind": "no_std", "mcu": "avr"}}))
    out.append(compile_text({"strategy": MINIMAL, "target": {"kind": "wasm"}, "crate_name": "1bad-name"}))

    # Inline datasets in many number and string spellings: the compile
    # handler writes their canonical text straight from the command text.
    for candles in [
        '[[1,1.50,1E2,-0,0.1e1,-0.0,1e-400,18446744073709551616,-9223372036854775809,100000000000000000000000]]',
        '[{"b":1,"a":2,"b":3},{"\\u00e9":"\\ud83d\\ude00\\/\\t\\u0001"},{"a":{"c":1,"b":[]}}]',
        '[[0.30000000000000004,5e-324,1.7976931348623157e308,123456789012345678,1.0e+16,1e15,0.00001,1e-6]]',
        '[ [ 1 , 2 ] , [ ] , { } , "x" , null , true , false ]',
        '[[1e400]]', '[[01]]', '[[1.]]', '[[-]]', '[{"a":1,}]',
    ]:
        out.append(compile_text_raw(json.dumps(MINIMAL), '{"kind":"binary"}',
                                    '"embed_data":{"kind":"inline","candles":' + candles + "},"))
        out.append(compile_text_raw(json.dumps(MINIMAL), '{"kind":"binary"}',
                                    '"embed_data":["inline",' + candles + "],"))

    # Nesting at and just past the limit: in the strategy (arrays and nested
    # conditions), in the candles, in a target's set-aside member, and in a
    # skipped member where it is not limited.
    for depth in (124, 125, 126):
        cond = '{"in_position":true}'
        for _ in range(depth // 2):
            cond = '{"not":' + cond + "}"
        strategy = json.dumps(MINIMAL)[:-1] + ',"entry":' + cond + "}"
        out.append(compile_text_raw(strategy, '{"kind":"wasm"}'))
        out.append(compile_text_raw("[" * depth + "]" * depth, '{"kind":"wasm"}'))
        out.append(compile_text_raw(json.dumps(MINIMAL), '{"kind":"wasm","x":' + "[" * depth + "]" * depth + "}",
                                    '"embed_data":{"kind":"inline","candles":' + "[" * depth + "]" * depth + "},"))
    out.append(b'{"cmd":"version","x":' + b"[" * 5000 + b"]" * 5000 + b"}")

    # The parsing suite, each document as the strategy and as an unknown member.
    suite = ROOT / "tests" / "data" / "jsontestsuite" / "test_parsing"
    if suite.is_dir():
        for path in sorted(suite.iterdir()):
            # Raw bytes: some of these documents are deliberately not UTF-8.
            doc = path.read_bytes()
            out.append(b'{"cmd":"compile","dry_run":true,"spec":{"target":{"kind":"wasm"},"strategy":' + doc + b"}}")
            out.append(b'{"cmd":"version","x":' + doc + b"}")
    return out


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out_dir = Path(sys.argv[1])
    out_dir.mkdir(parents=True, exist_ok=True)
    for data in seeds():
        (out_dir / hashlib.sha1(data).hexdigest()).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
