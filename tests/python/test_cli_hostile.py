"""The command-line tool under careless or hostile input: endless streams,
closed standard input, control characters in what it prints, file names that
point outside the output directory, lines too long to print."""

from __future__ import annotations

import contextlib
import json
import re
from pathlib import Path

import pytest
from support import MINIMAL_STRATEGY
from test_cli import EXAMPLES, TREND, run_cli, stand_in_cargo

from lantor_compile.cli import main

# Far above what the tool needs, far below what an unbounded read takes.
MEMORY_LIMIT = 1 << 30


@pytest.mark.parametrize(
    ("args", "redirect", "message"),
    [
        (["check", "/dev/zero"], "", "/dev/zero is longer than 256 MiB"),
        (["check", "-"], "</dev/zero", "<stdin> is longer than 256 MiB"),
        (["compile", "/dev/zero", "--target", "wasm"], "", "strategy file /dev/zero is longer than 256 MiB"),
        (
            ["compile", str(TREND), "--target", "wasm", "--dry-run", "--candles", "/dev/zero"],
            "",
            "candles file /dev/zero is longer than 256 MiB",
        ),
        (["check", "-"], "<&-", "<stdin> cannot be read"),
        (["compile", "-", "--target", "wasm"], "<&-", "cannot read strategy file standard input"),
    ],
    ids=["check-device", "check-stdin", "compile-device", "candles-device", "check-closed", "compile-closed"],
)
def test_endless_or_closed_inputs_are_usage_errors(args: list[str], redirect: str, message: str) -> None:
    done = run_cli(*args, redirect=redirect, memory_limit=MEMORY_LIMIT)
    assert (done.returncode, done.stdout) == (2, ""), done.stderr
    assert message in done.stderr and "Traceback" not in done.stderr


def test_a_pipe_within_the_limit_is_read_whole() -> None:
    text = (EXAMPLES / "spread_pair.json").read_bytes()
    piped = run_cli("compile", "-", "--target", "wasm", "--dry-run", "--json", stdin=text + b" " * 3_000_000)
    whole = run_cli("compile", "-", "--target", "wasm", "--dry-run", "--json", stdin=text)
    assert (piped.returncode, piped.stdout) == (0, whole.stdout), piped.stderr


# Text that clears the screen and homes the cursor, then a C1 control that
# some terminals read as the start of a sequence; JSON leaves the C1 raw.
HOSTILE = "\x1b[2J\x1b[Hall good\x9b31m"
RAW_CONTROL = re.compile(r"[\x00-\x08\x0b-\x1f\x7f-\x9f]")


def hostile_files(tmp_path: Path) -> dict[str, str]:
    """A strategy quoting HOSTILE in an error and a warning, in a folder beside one named with it."""
    folder = tmp_path / "sweep"
    folder.mkdir()
    strategy = {**MINIMAL_STRATEGY, "sizing": {"type": HOSTILE, HOSTILE: 1}}
    (folder / "a.json").write_text(json.dumps(strategy))
    (folder / f"{HOSTILE}.json").write_text('{"symbol": 5}')
    return {"{file}": str(folder / "a.json"), "{folder}": str(folder), "{named}": str(tmp_path / HOSTILE)}


@pytest.mark.parametrize(
    ("args", "escaped"),
    [
        (["check", "{file}"], "\\x1b[2J"),
        (["check", "--format", "github", "{file}"], "\\x1b[2J"),
        (["check", "--format", "json", "{file}"], "\\u009b31m"),
        (["compile", "{file}", "--target", "wasm", "--dry-run"], "\\x1b[2J"),
        (["compile", "{folder}", "--target", "wasm", "--dry-run"], "\\x1b[2J"),
        (["compile", "{named}", "--target", "wasm"], "\\x1b[2J"),
    ],
    ids=["check-human", "check-github", "check-json", "compile", "compile-many", "usage-error"],
)
def test_control_characters_in_what_is_printed_are_escaped(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], args: list[str], escaped: str
) -> None:
    names = hostile_files(tmp_path)
    with contextlib.suppress(SystemExit):
        main([names.get(arg, arg) for arg in args])
    printed = capsys.readouterr()
    assert escaped in printed.out + printed.err
    assert not RAW_CONTROL.search(printed.out + printed.err)


def test_a_long_line_is_shown_around_the_column(tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
    strategy = {**MINIMAL_STRATEGY, "ref_symbol": "x" * 1_000_000}
    text = json.dumps(strategy).replace('"timeframe": "1h"', '"timeframe": 7')
    (tmp_path / "long.json").write_text(text)
    assert main(["check", str(tmp_path / "long.json")]) == 1
    report = capsys.readouterr().err.splitlines()
    source, caret = next(report[i : i + 2] for i, line in enumerate(report) if line.startswith("1 | "))
    assert max(map(len, report)) < 200
    assert source[caret.index("^")] == "7" and source.endswith("...")


@pytest.mark.parametrize("name", ["...json", "..json"])
def test_dir_per_file_keeps_every_project_below_the_output_directory(tmp_path: Path, name: str) -> None:
    work = tmp_path / "work"
    work.mkdir()
    (work / name).write_bytes(TREND.read_bytes())
    bin_dir = stand_in_cargo(tmp_path / "bin", "exit 0")
    out = work / "out"
    done = run_cli(
        "compile",
        str(work / name),
        "--target",
        "binary",
        "--dir-per-file",
        "--out-dir",
        str(out),
        path_prefix=bin_dir,
    )
    assert done.returncode == 2
    assert f"cannot name a project directory after {work / name}" in done.stderr
    assert sorted(p.name for p in work.iterdir()) == [name]
