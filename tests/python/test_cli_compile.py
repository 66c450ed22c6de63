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
import struct
import subprocess
import sys
import termios
import time
from pathlib import Path

import pytest
from support import MINIMAL_STRATEGY
from test_cli import PACKAGE_PARENT, TREND, direct, dry_compile_command, stand_in_cargo
from test_cli_check import run

STANDIN = Path(__file__).resolve().parents[1] / "data" / "standin_cargo"
MISSPELT = json.dumps({**MINIMAL_STRATEGY, "risk": {"stoploss_pct": 2}})
MISSPELT_COLUMN = MISSPELT.index('"stoploss_pct"') + 1


def cargo(tmp_path: Path, standin: str, monkeypatch: pytest.MonkeyPatch | None = None) -> Path:
    """A folder whose cargo runs the stand-in ``standin`` of tests/data; first on PATH with ``monkeypatch``."""
    folder = stand_in_cargo(tmp_path / "bin", f'exec sh "{STANDIN / standin}" "$@"')
    if monkeypatch is not None:
        monkeypatch.setenv("PATH", f"{folder}{os.pathsep}{os.environ['PATH']}")
    return folder


def strategies(tmp_path: Path, several: bool) -> list[str]:
    (tmp_path / "misspelt.json").write_text(MISSPELT)
    return [str(tmp_path / "misspelt.json")] + ([str(TREND)] if several else [])


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
    files = strategies(tmp_path, several)
    args = ["compile", *files, "--target", "binary", "--json", "--out-dir", str(tmp_path / "out")]
    args.append("--dir-per-file" if build else "--dry-run")
    loud, quiet = run(args, capsys), run([*args, "-q"], capsys)
    assert loud[:2] == quiet[:2] and loud[0] == 0  # the same exit status and responses
    assert loud[2].startswith(
        "warning[unknown-member]: unknown member `stoploss_pct`, ignored but kept in the embedded spec\n"
        f" --> {files[0]}:1:{MISSPELT_COLUMN} at /risk/stoploss_pct\n"
    )
    assert "= help: did you mean `stop_loss_pct`?" in loud[2] and quiet[2] == ""


@pytest.mark.parametrize(
    ("data", "report"),
    [
        (b"", "error[syntax]: EOF while parsing a value\n --> {file}:1:1 at /"),
        (b'{"symbol": "X"} {}', "error[syntax]: trailing characters\n --> {file}:1:17 at /"),
        (b'{"warmup": NaN}', "error[syntax]: expected value\n --> {file}:1:12 at /warmup"),
        (b'{"symbol": "\xff"}', "error[syntax]: not UTF-8 text: invalid start byte\n --> {file}:1:13"),
        (b'{"timeframe": "1h"}', "error[missing-field]: missing field `symbol`\n --> {file}:1:1 at /"),
    ],
    ids=["empty", "two-values", "nan", "not-utf8", "schema"],
)
def test_one_file_that_fails_is_placed_and_exits_1(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], data: bytes, report: str
) -> None:
    file = tmp_path / "s.json"
    file.write_bytes(data)
    done, out, err = run(["compile", str(file), "--target", "wasm", "--dry-run", "--format", "jsonl"], capsys)
    assert done == 1 and report.format(file=file) in err
    # A text that is not JSON is never sent: its jsonl line holds the located error.
    [line] = out.splitlines()
    assert list(json.loads(line)) == ["file", "response" if b"timeframe" in data else "error"]


def test_a_failure_placed_in_the_file_names_every_place_in_the_file(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    file = tmp_path / "s.json"
    file.write_bytes(b'{"timeframe": "1h", "entry": {"all": [{"lt": [{"add": [1, {"x": 2}]}, 1]}]}}')
    done, _, err = run(["compile", str(file), "--target", "wasm", "--dry-run"], capsys)
    assert done == 1 and "/spec/strategy" not in err
    assert f" --> {file}:1:47 at /entry/all/0/lt/0\n" in err
    assert "read as an expression, it fails at /entry/all/0/lt/0/add/1: unknown variant `x`" in err


def test_an_mcu_outside_the_allow_list_is_told_the_list(capsys: pytest.CaptureFixture[str]) -> None:
    args = ["compile", str(TREND), "--target", "no_std", "--mcu", "avr", "--dry-run"]
    done, _, err = run(args, capsys)
    assert done == 1
    assert "lantor-compile: help: the MCU triples a no_std target may name are `thumbv6m-none-eabi`, " in err


def test_a_batch_keeps_going_past_the_files_that_fail(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    batch = {"a": b'{"symbol": "X",\n "timeframe": }', "b": TREND.read_bytes(), "c": b'{"timeframe": "1h"}'}
    for name, data in batch.items():
        (tmp_path / f"{name}.json").write_bytes(data)
    args = ["compile", str(tmp_path), "--target", "wasm", "--dry-run", "--format", "jsonl", "-j", "2"]
    done, out, err = run(args, capsys)
    assert done == 1
    a, b, c = out.splitlines()
    assert json.loads(a) == {
        "file": str(tmp_path / "a.json"),
        "error": {"line": 2, "column": 15, "pointer": "/timeframe", "severity": "error", "code": "syntax"}
        | {"message": "expected value", "help": None},
    }
    # Each response stands in its line exactly as the compiler wrote it.
    good = direct(dry_compile_command(TREND, {"kind": "wasm"}))
    assert b == '{"file":' + json.dumps(str(tmp_path / "b.json")) + ',"response":' + good + "}"
    assert json.loads(c)["file"] == str(tmp_path / "c.json") and '"ok":false' in c
    assert err.startswith("error[syntax]: expected value\n")  # printed as it was read
    assert err[err.index("lantor-compile: 1 passed the dry run, 2 failed, in ") :].splitlines()[1:] == [
        f"lantor-compile: error: {tmp_path / 'a.json'}:2:15: not JSON: expected value",
        f"lantor-compile: error: {tmp_path / 'c.json'}:1:1: bad spec: strategy is not a valid "
        "StrategySpec: missing field `symbol`",
    ]


@pytest.mark.parametrize(
    ("standin", "several"),
    [("unresolved_backtest.sh", False), ("unresolved_backtest.sh", True), ("stderr_then_exit.sh", False)],
    ids=["one", "several", "other-failure"],
)
def test_an_unresolvable_backtest_library_gets_a_hint(
    tmp_path: Path,
    capsys: pytest.CaptureFixture[str],
    monkeypatch: pytest.MonkeyPatch,
    standin: str,
    several: bool,
) -> None:
    cargo(tmp_path, standin, monkeypatch)
    (tmp_path / "stderr.txt").write_text("error: linker `cc` not found\n")
    monkeypatch.setenv("STANDIN_STDERR", str(tmp_path / "stderr.txt"))
    out = tmp_path / "out"
    files = strategies(tmp_path, several)
    args = ["compile", *files, "--target", "binary", "--out-dir", str(out), "--dir-per-file", "--json", "-q"]
    done, _, err = run(args, capsys)
    assert done == 1
    if standin == "unresolved_backtest.sh":
        assert "error: no matching package named `lantor-backtest` found" in err
        assert err.endswith(
            "lantor-compile: cargo found no lantor-backtest to build against. To build against a local "
            f"checkout of it, add these lines to .cargo/config.toml in {out} or a folder above it, and "
            'compile again:\n    [patch.crates-io]\n    lantor-backtest = { path = "/path/to/lantor-backtest" }\n'
        )
        assert err.count("[patch.crates-io]") == 1
    else:
        assert "linker `cc` not found" in err and "[patch.crates-io]" not in err


@pytest.mark.parametrize("several", [False, True], ids=["spinner", "bar"])
def test_a_build_on_a_terminal_shows_that_it_runs(tmp_path: Path, several: bool) -> None:
    release = tmp_path / "release"
    env = dict(
        os.environ,
        PATH=f"{cargo(tmp_path, 'wait_for_release.sh')}{os.pathsep}{os.environ['PATH']}",
        PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")])),
        STANDIN_RELEASE=str(release),
    )
    args = [
        *strategies(tmp_path, several),
        "--target",
        "binary",
        "--json",
        "--out-dir",
        str(tmp_path / "out"),
    ]
    leader, follower = os.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    child = subprocess.Popen(
        [sys.executable, "-m", "lantor_compile", "compile", *args, "--dir-per-file"],
        stdout=subprocess.PIPE,
        stderr=follower,
        env=env,
    )
    os.close(follower)

    def shown(seen: bytes) -> bool:
        """Drawn again while cargo gives no news: the spinner turns, the bar shows its time anew."""
        if several:
            return seen.count(b" 0/2 [") >= 3
        return all(f"{c} cargo is building 00:0".encode() in seen for c in "|/-")

    seen, deadline = b"", time.monotonic() + 60
    try:
        while time.monotonic() < deadline:
            if not release.exists() and shown(seen):
                release.touch()
            if not select.select([leader], [], [], 1)[0]:
                continue
            try:
                chunk = os.read(leader, 65536)
            except OSError:  # the child has closed the terminal
                break
            if not chunk:
                break
            seen += chunk
        stdout, _ = child.communicate(timeout=60)
    finally:
        os.close(leader)
        if child.poll() is None:
            child.kill()
    assert child.returncode == 0 and shown(seen), seen
    if not several:
        # The spinner is wiped, and one line says what was built and how long it took.
        path = re.escape(json.loads(stdout)["path"].encode())
        assert re.search(
            rb"building 00:\d\d\r +\rlantor-compile: built " + path + rb" in \d+\.\d s\r\n$", seen
        )
