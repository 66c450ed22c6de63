"""Memory: stored artifacts are returned by reset, and no command kind leaks
memory that grows with the number of commands.

The bounds are on memory only (resident set size from /proc, and valgrind's
leak summary), never on time.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path
from typing import Any

import pytest
from support import FREE_THREADED, MINIMAL_STRATEGY

from lantor_compile import Compiler

MB = 1024 * 1024
PAGE = os.sysconf("SC_PAGE_SIZE")

pytestmark = pytest.mark.skipif(not Path("/proc/self/statm").exists(), reason="needs /proc")


def rss() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE


STRATEGY = {
    **MINIMAL_STRATEGY,
    "indicators": {"fast": {"type": "ema", "params": [12]}},
    "notes": "x" * 5000,
}


def every_command(data_file: str, csv_file: str) -> list[str]:
    """One command text of every kind, successes and failures."""
    dry: dict[str, Any] = {
        "cmd": "compile",
        "dry_run": True,
        "spec": {"strategy": STRATEGY, "target": {"kind": "wasm"}},
    }
    with_csv = json.loads(json.dumps(dry))
    with_csv["spec"]["embed_data"] = {"kind": "csv", "path": csv_file}
    with_inline = json.loads(json.dumps(dry))
    with_inline["spec"]["embed_data"] = {"kind": "inline", "candles": [[1, 2.5, "x"]] * 200}
    with_inline["spec"]["target"] = {"kind": "no_std", "mcu": "thumbv7em-none-eabihf"}
    return [
        '{"cmd":"version"}',
        '{"cmd":"targets"}',
        json.dumps(dry),
        json.dumps(with_csv),
        json.dumps(with_inline),
        json.dumps({**dry, "spec": {**dry["spec"], "strategy": {**STRATEGY, "sizing": 1}}}),
        json.dumps({**dry, "spec": {**dry["spec"], "target": {"kind": "no_std", "mcu": "avr"}}}),
        '{"cmd":"compile","spec":{"strategy":' + "[" * 200 + "]" * 200 + ',"target":{"kind":"wasm"}}}',
        '{"cmd":"compile","spec":{"strategy":1e999,"target":{"kind":"wasm"}}}',
        json.dumps({"cmd": "artifact_bytes", "path": data_file}),
        '{"cmd":"artifact_bytes","path":"/nonexistent/file"}',
        '{"cmd":"artifact_bytes","path":"a\\u0000b"}',
        '{"cmd":"nope"}',
        '{"cmd":',
        '{"cmd":"reset"}',
    ]


def test_reset_returns_the_memory_of_stored_artifacts(tmp_path: Path) -> None:
    big = tmp_path / "big.bin"
    with open(big, "wb") as f:
        f.truncate(100 * MB)
    compiler = Compiler()
    cmd = json.dumps({"cmd": "artifact_bytes", "path": str(big)})
    compiler.command(cmd)  # warm up the allocator and the page cache
    compiler.command('{"cmd":"reset"}')

    start = rss()
    for handle in range(3):
        assert json.loads(compiler.command(cmd))["handle"] == handle
    held = rss()
    assert compiler.command('{"cmd":"reset"}') == '{"ok":true}'
    after = rss()
    print(
        f"rss start {start / MB:.1f} MB, holding 3 x 100 MB {held / MB:.1f} MB, after reset {after / MB:.1f} MB"
    )
    assert held - start >= 280 * MB
    assert after - start <= 30 * MB


def test_no_growth_over_many_commands(tmp_path: Path) -> None:
    data = tmp_path / "small.bin"
    data.write_bytes(os.urandom(64 * 1024))
    csv = tmp_path / "c.csv"
    csv.write_text("t,o,h,l,c\n" + "1,2,3,4,5\n" * 2000)
    commands = every_command(str(data), str(csv))
    compiler = Compiler()

    def rounds(n: int) -> None:
        for _ in range(n):
            for text in commands:
                compiler.command(text)

    rounds(100)
    before = rss()
    rounds(1000)
    after = rss()
    print(
        f"rss before {before / MB:.1f} MB, after 1000 more rounds of {len(commands)} commands {after / MB:.1f} MB"
    )
    # 15,000 commands: a leak of even 1 KB per command would show as 15 MB.
    assert after - before <= 8 * MB


VALGRIND_SCRIPT = textwrap.dedent(
    """
    import json, sys
    from lantor_compile import Compiler
    sys.path.insert(0, sys.argv[1])
    from test_memory import every_command
    commands = every_command(sys.argv[2], sys.argv[3])
    for _ in range(int(sys.argv[4])):
        compiler = Compiler()
        for text in commands:
            compiler.command(text)
        del compiler
    """
)


def definitely_lost(tmp_path: Path, rounds: int) -> int:
    data = tmp_path / "small.bin"
    data.write_bytes(b"y" * 4096)
    csv = tmp_path / "c.csv"
    csv.write_text("t,o,h,l,c\n1,2,3,4,5\n")
    script = tmp_path / "loop.py"
    script.write_text(VALGRIND_SCRIPT)
    env = dict(os.environ, PYTHONMALLOC="malloc", PYTHONHASHSEED="0")
    result = subprocess.run(
        [
            "valgrind",
            "--leak-check=full",
            "--errors-for-leak-kinds=definite",
            "--error-exitcode=99",
            sys.executable,
            str(script),
            str(Path(__file__).parent),
            str(data),
            str(csv),
            str(rounds),
        ],
        capture_output=True,
        text=True,
        timeout=900,
        env=env,
    )
    assert result.returncode in (0, 99), result.stderr[-3000:]
    # The interpreter has reports of its own; any report whose stack passes
    # through the module is a fault of ours.
    for block in re.split(r"==\d+== \n", result.stderr):
        if "lantor" in block:
            assert not re.search(
                r"Invalid (read|write|free)|uninitialised|Mismatched|definitely lost", block
            ), block
    match = re.search(r"definitely lost: ([\d,]+) bytes", result.stderr)
    return int(match.group(1).replace(",", "")) if match else 0


@pytest.mark.skipif(shutil.which("valgrind") is None, reason="valgrind is not installed")
@pytest.mark.skipif(
    FREE_THREADED, reason="a free-threaded interpreter cannot allocate with malloc for valgrind"
)
def test_no_leak_that_grows_under_valgrind(tmp_path: Path) -> None:
    few = definitely_lost(tmp_path, 1)
    many = definitely_lost(tmp_path, 6)
    print(f"definitely lost: {few} bytes after 1 round, {many} bytes after 6 rounds")
    assert many == few
