"""`lantor-compile compile` around the compiler's responses: the warnings it
shows first, files that fail without stopping the others, jsonl output, exit
statuses, the spinner while cargo runs and the hint for an unresolvable
lantor-backtest."""

from __future__ import annotations

import fcntl
import json
import os
import re
import select
import shutil
import stat
import struct
import subprocess
import sys
import termios
import time
from collections.abc import Callable
from pathlib import Path

import pytest
from support import MINIMAL_STRATEGY
from test_cli import PACKAGE_PARENT, TREND, direct, dry_compile_command

from lantor_compile.cli import main

STANDIN = Path(__file__).resolve().parents[1] / "data" / "standin_cargo"
MISSPELT = json.dumps({**MINIMAL_STRATEGY, "risk": {"stoploss_pct": 2}}, indent=1)
# The line and column where "stoploss_pct" starts in MISSPELT.
MISSPELT_PLACE = (
    MISSPELT[: MISSPELT.index('"stoploss_pct"')].count("\n") + 1,
    MISSPELT.index('"stoploss_pct"') - MISSPELT.rindex("\n", 0, MISSPELT.index('"stoploss_pct"')),
)
# A folder's files, in name order: each way a file can fail, between good ones.
BATCH = {
    "a_syntax.json": b'{"symbol": "X",\n "timeframe": }',
    "b_good.json": TREND.read_bytes(),
    "c_not_utf8.json": b'{"symbol": "\xff"}',
    "d_schema.json": b'{"timeframe": "1h"}',
    "e_misspelt.json": MISSPELT.encode(),
}


def run(args: list[str], capsys: pytest.CaptureFixture[str]) -> tuple[int, str, str]:
    """``main(args)``'s exit status (a usage error's too), standard output and standard error."""
    try:
        status = main(args)
    except SystemExit as exit:
        status = int(exit.code or 0)
    out, err = capsys.readouterr()
    return status, out, err


def cargo(tmp_path: Path, standin: str, monkeypatch: pytest.MonkeyPatch | None = None) -> Path:
    """A folder whose ``cargo`` is the stand-in ``standin`` of tests/data; first on PATH with ``monkeypatch``."""
    folder = tmp_path / "bin"
    folder.mkdir(exist_ok=True)
    shutil.copyfile(STANDIN / standin, folder / "cargo")
    (folder / "cargo").chmod(stat.S_IRWXU)
    if monkeypatch is not None:
        monkeypatch.setenv("PATH", f"{folder}{os.pathsep}{os.environ['PATH']}")
    return folder


@pytest.mark.parametrize("build", [False, True], ids=["dry-run", "build"])
@pytest.mark.parametrize("several", [False, True], ids=["one", "several"])
def test_the_warnings_come_first_and_quiet_hides_them(
    tmp_path: Path,
    capsys: pytest.CaptureFixture[str],
    monkeypatch: pytest.MonkeyPatch,
    build: bool,
    several: bool,
) -> None:
    cargo(tmp_path, "record.sh", monkeypatch)
    (tmp_path / "e_misspelt.json").write_text(MISSPELT)
    files = [str(tmp_path / "e_misspelt.json")] + ([str(TREND)] if several else [])
    args = ["compile", *files, "--target", "binary", "--json", "--out-dir", str(tmp_path / "out")]
    args.append("--dir-per-file" if build else "--dry-run")
    loud = run(args, capsys)
    quiet = run([*args, "-q"], capsys)
    assert loud[:2] == quiet[:2] and loud[0] == 0  # the same exit status and responses
    if not build:
        assert loud[1] == "".join(
            direct(dry_compile_command(Path(f), {"kind": "binary"}) | {"out_dir": str(tmp_path / "out")})
            + "\n"
            for f in files
        )
    line, column = MISSPELT_PLACE
    assert loud[2].startswith(
        "warning[unknown-member]: unknown member `stoploss_pct`, ignored but kept in the embedded spec\n"
    )
    assert f"--> {files[0]}:{line}:{column} at /risk/stoploss_pct\n" in loud[2]
    assert "= help: did you mean `stop_loss_pct`?" in loud[2]
    assert quiet[2] == ""


@pytest.mark.parametrize(
    ("data", "status", "report"),
    [
        (b"", 1, "error[syntax]: EOF while parsing a value\n --> {file}:1:1 at /"),
        (b'{"symbol": "X"} {}', 1, "error[syntax]: trailing characters\n --> {file}:1:17 at /"),
        (b'{"warmup": NaN}', 1, "error[syntax]: expected value\n --> {file}:1:12 at /warmup"),
        (
            b'{"symbol": "\xff"}',
            1,
            "error[syntax]: not UTF-8 text: invalid start byte\n --> {file}:1:13 at /",
        ),
        (b'{"timeframe": "1h"}', 1, "error[missing-field]: missing field `symbol`\n --> {file}:1:1 at /"),
        (None, 2, "cannot read strategy file {file}: No such file or directory"),
    ],
    ids=["empty", "two-values", "nan", "not-utf8", "schema", "missing"],
)
def test_one_file_that_fails_is_placed_and_exits_1_unless_unreadable(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], data: bytes | None, status: int, report: str
) -> None:
    file = tmp_path / "s.json"
    if data is not None:
        file.write_bytes(data)
    done, out, err = run(["compile", str(file), "--target", "wasm", "--dry-run", "--format", "jsonl"], capsys)
    assert done == status
    assert report.format(file=file) in err
    if data is not None:
        # A text that is not JSON is never sent; its jsonl line holds the located error.
        [line] = [json.loads(text) for text in out.splitlines()]
        assert line["file"] == str(file) and ("response" in line) is (b"timeframe" in data)


def test_a_batch_keeps_going_past_the_files_that_fail(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    for name, data in BATCH.items():
        (tmp_path / name).write_bytes(data)
    done, out, err = run(
        ["compile", str(tmp_path), "--target", "wasm", "--dry-run", "--format", "jsonl", "-j", "2"], capsys
    )
    assert done == 1
    good = direct(dry_compile_command(TREND, {"kind": "wasm"}))
    lines = out.splitlines()
    assert [json.loads(line)["file"] for line in lines] == [str(tmp_path / name) for name in BATCH]
    # Each response stands in its line exactly as the compiler wrote it.
    assert lines[1] == '{"file":' + json.dumps(str(tmp_path / "b_good.json")) + ',"response":' + good + "}"
    assert [sorted(json.loads(line)) for line in lines] == [
        ["error", "file"],
        ["file", "response"],
        ["error", "file"],
        ["file", "response"],
        ["file", "response"],
    ]
    assert json.loads(lines[0])["error"] == {
        "line": 2,
        "column": 15,
        "pointer": "/timeframe",
        "severity": "error",
        "code": "syntax",
        "message": "expected value",
        "help": None,
    }
    summary = err[err.index("lantor-compile: 2 passed the dry run, 3 failed, in ") :].splitlines()[1:]
    assert summary == [
        f"lantor-compile: error: {tmp_path / 'a_syntax.json'}:2:15: not JSON: expected value",
        f"lantor-compile: error: {tmp_path / 'c_not_utf8.json'}:1:13: not UTF-8 text: invalid start byte",
        f"lantor-compile: error: {tmp_path / 'd_schema.json'}:1:1: bad spec: strategy is not a valid "
        "StrategySpec: missing field `symbol`",
    ]
    # The files that fail before they are sent are reported where they are read, with the warnings.
    assert err.index("error[syntax]: expected value") < err.index("warning[unknown-member]")


HINT = (
    "lantor-compile: cargo found no lantor-backtest to build against. To build against a local checkout "
    "of it, add these lines to .cargo/config.toml in {out} or a folder above it, and compile again:\n"
    "    [patch.crates-io]\n"
    '    lantor-backtest = {{ path = "/path/to/lantor-backtest" }}\n'
)


@pytest.mark.parametrize(
    ("standin", "several", "hinted"),
    [
        ("unresolved_backtest.sh", False, True),
        ("unresolved_backtest.sh", True, True),
        ("stderr_then_exit.sh", False, False),
    ],
    ids=["one", "several", "other-failure"],
)
def test_an_unresolvable_backtest_library_gets_a_hint(
    tmp_path: Path,
    capsys: pytest.CaptureFixture[str],
    monkeypatch: pytest.MonkeyPatch,
    standin: str,
    several: bool,
    hinted: bool,
) -> None:
    cargo(tmp_path, standin, monkeypatch)
    (tmp_path / "stderr.txt").write_text("error: linker `cc` not found\n")
    monkeypatch.setenv("STANDIN_STDERR", str(tmp_path / "stderr.txt"))
    out = tmp_path / "out"
    files = [str(TREND)] + ([str(tmp_path / "e_misspelt.json")] if several else [])
    (tmp_path / "e_misspelt.json").write_text(MISSPELT)
    args = ["compile", *files, "--target", "binary", "--out-dir", str(out), "--dir-per-file", "--json", "-q"]
    done, _, err = run(args, capsys)
    assert done == 1
    if hinted:
        assert "error: no matching package named `lantor-backtest` found" in err
        assert err.endswith(HINT.format(out=out)) and err.count("[patch.crates-io]") == 1
    else:
        assert "linker `cc` not found" in err and "[patch.crates-io]" not in err


def read_terminal(leader: int, until: Callable[[bytes], bool], seen: bytes = b"") -> bytes:
    """What the terminal's other end receives, read until ``until(seen)`` or its end; at most a minute."""
    deadline = time.monotonic() + 60
    while not until(seen) and time.monotonic() < deadline:
        ready, _, _ = select.select([leader], [], [], 1)
        if not ready:
            continue
        try:
            chunk = os.read(leader, 65536)
        except OSError:  # the child has closed the terminal
            break
        if not chunk:
            break
        seen += chunk
    return seen


@pytest.mark.parametrize("several", [False, True], ids=["spinner", "bar"])
def test_a_build_on_a_terminal_shows_that_it_runs(tmp_path: Path, several: bool) -> None:
    bin_dir = cargo(tmp_path, "wait_for_release.sh")
    release = tmp_path / "release"
    (tmp_path / "e_misspelt.json").write_text(MISSPELT)
    files = [str(TREND)] + ([str(tmp_path / "e_misspelt.json")] if several else [])
    leader, follower = os.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    env = dict(
        os.environ,
        PATH=f"{bin_dir}{os.pathsep}{os.environ['PATH']}",
        PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")])),
        STANDIN_RELEASE=str(release),
    )
    out = tmp_path / "out"
    args = ["compile", *files, "--target", "binary", "--json", "--out-dir", str(out), "--dir-per-file"]
    child = subprocess.Popen(
        [sys.executable, "-m", "lantor_compile", *args], stdout=subprocess.PIPE, stderr=follower, env=env
    )
    os.close(follower)
    # Drawn again and again while cargo gives no news: a spinner turns, a bar
    # shows its elapsed time anew.
    frames = [f"{c} cargo is building 00:0".encode() for c in "|/-"]

    def shown(seen: bytes) -> bool:
        if several:
            return seen.count(b" 0/2 [") >= 3
        return all(frame in seen for frame in frames)

    try:
        seen = read_terminal(leader, shown)
        release.touch()
        seen = read_terminal(leader, lambda _: False, seen)
        stdout, _ = child.communicate(timeout=60)
    finally:
        os.close(leader)
        if child.poll() is None:
            child.kill()
    assert child.returncode == 0
    assert shown(seen), seen
    if not several:
        # The spinner is wiped, and one line says what was built and how long it took.
        path = json.loads(stdout)["path"]
        wiped = rb"\r +\r"
        closing = rb"lantor-compile: built " + re.escape(path.encode()) + rb" in \d+\.\d s\r\n"
        assert re.search(rb"cargo is building 00:\d\d" + wiped + closing + b"$", seen), seen
