"""`lantor-compile check` as a linter: folders, --select and --ignore, the
summary, --statistics, and its exit statuses."""

from __future__ import annotations

import itertools
import json
import re
from pathlib import Path

import pytest
from test_check import BASE, ERRORS, LINTS, UNKNOWN_MEMBER
from test_cli import TREND

from lantor_compile.cli import main
from lantor_compile.cli_check import CODES

# File contents by name; a folder of them is what most rows check.
FILES = {
    "a_clean.json": TREND.read_bytes(),
    "b_warned.json": UNKNOWN_MEMBER.read_bytes(),
    "c_missing.json": BASE.replace('"symbol": "BTC-USDT",', "").encode(),
    "d_syntax.json": b'{"symbol": }',
    "e_latin1.json": b'{"symbol": "\xe9"}',
    "notes.txt": b"not a strategy",
}
HEADER = re.compile(r"^(error|warning)\[([a-z-]+)\]", re.MULTILINE)


def run(args: list[str], capsys: pytest.CaptureFixture[str]) -> tuple[int, str, str]:
    """``main(args)``'s exit status (a usage error's too), standard output and standard error."""
    try:
        status = main(args)
    except SystemExit as exit:
        status = int(exit.code or 0)
    out, err = capsys.readouterr()
    return status, out, err


@pytest.fixture
def folder(tmp_path: Path) -> Path:
    for name, data in FILES.items():
        (tmp_path / name).write_bytes(data)
    return tmp_path


@pytest.mark.parametrize(
    ("options", "codes", "summary"),
    [
        (
            [],
            ["unknown-member", "missing-field", "syntax", "syntax"],
            "5 files checked: 3 errors and 1 warning in 4 files",
        ),
        (
            ["--select", "unknown-member"],
            ["unknown-member"],
            "5 files checked: 1 warning in 1 file; 3 errors left out by --select/--ignore still fail the check",
        ),
        (
            ["--ignore", "syntax, unknown-member"],
            ["missing-field"],
            "5 files checked: 1 error in 1 file; 2 errors left out by --select/--ignore still fail the check",
        ),
        (
            ["--select", "syntax,unknown-member", "--ignore", "syntax"],
            ["unknown-member"],
            "5 files checked: 1 warning in 1 file; 3 errors left out by --select/--ignore still fail the check",
        ),
    ],
    ids=["all", "select", "ignore", "both"],
)
def test_a_folder_is_checked_file_by_file_and_summed_up(
    folder: Path, capsys: pytest.CaptureFixture[str], options: list[str], codes: list[str], summary: str
) -> None:
    status, out, err = run(["check", str(folder), *options], capsys)
    # Errors fail the check whether they are printed or not.
    assert (status, out) == (1, "")
    assert [code for _, code in HEADER.findall(err)] == codes
    assert err.splitlines()[-1] == f"lantor-compile: {summary}"


@pytest.mark.parametrize(
    ("names", "options", "status", "last_line"),
    [
        (["a_clean.json"], [], 0, "lantor-compile: 1 file checked, nothing found"),
        (["b_warned.json"], [], 0, "lantor-compile: 1 file checked: 1 warning in 1 file"),
        (["b_warned.json"], ["--strict"], 1, "lantor-compile: 1 file checked: 1 warning in 1 file"),
        (["b_warned.json"], ["--strict", "--ignore", "unknown-member"], 0, "1 file checked, nothing found"),
        (["b_warned.json"], ["-q"], 0, None),
        (["e_latin1.json"], [], 1, "lantor-compile: 1 file checked: 1 error in 1 file"),
        (["a_clean.json", "gone.json"], [], 2, "nothing found; 1 file could not be read"),
        (["empty"], [], 2, "no strategy files (*.json) in folder"),
        (
            ["a_clean.json"],
            ["--select", "unknown-membr,syntax"],
            2,
            f"unknown code unknown-membr; the codes are {', '.join(CODES)}",
        ),
    ],
    ids=[
        "clean",
        "warned",
        "strict",
        "strict-ignored",
        "quiet",
        "not-utf8",
        "unreadable",
        "empty-folder",
        "unknown-code",
    ],
)
def test_exit_statuses(
    folder: Path,
    capsys: pytest.CaptureFixture[str],
    names: list[str],
    options: list[str],
    status: int,
    last_line: str | None,
) -> None:
    (folder / "empty").mkdir()
    done, _, err = run(["check", *[str(folder / name) for name in names], *options], capsys)
    assert done == status, err
    if last_line is None:
        assert " checked" not in err
    else:
        assert last_line in err.splitlines()[-1]
    assert ("warning[unknown-member]" in err) is (names == ["b_warned.json"] and "--ignore" not in options)


def test_the_known_codes_cover_every_code_the_checker_is_tested_for() -> None:
    assert [CODES.get(row[2]) for row in ERRORS] == ["error"] * len(ERRORS)
    assert [CODES.get(row[2]) for row in LINTS] == ["warning"] * len(LINTS)


@pytest.mark.parametrize("output", ["human", "json"])
def test_statistics_count_each_code(folder: Path, capsys: pytest.CaptureFixture[str], output: str) -> None:
    (folder / "f_warned.json").write_text(BASE.replace('"qty": 1}', '"qty": 1, "qtty": 2}'))
    status, out, err = run(["check", str(folder), "--statistics", "--format", output], capsys)
    assert status == 1
    rows = [("syntax", "error", 2), ("unknown-member", "warning", 2), ("missing-field", "error", 1)]
    if output == "json":
        assert json.loads(out) == [{"code": c, "severity": s, "count": n} for c, s, n in rows]
    else:
        assert out.splitlines() == [f"{n}  {c:<14}  {s}" for c, s, n in rows]
        # The counts stand in for the diagnostics; the summary still ends the report.
        assert not HEADER.search(err)
        assert err.splitlines()[-1].startswith("lantor-compile: 6 files checked: 3 errors and 2 warnings")


@pytest.mark.parametrize(
    ("text", "token"),
    [
        (b'{"symbol": 7}', "7"),
        (b'{"symbol": "BTC", "timeframe": true}', "true"),
        (b'{"symbol": "BTC", "sizing": {"type": "fixed_fractoin"}}', '"fixed_fractoin"'),
        ('{"symbol": "BTC", "pr\u00efx\u20ac": 1}'.encode(), '"pr\u00efx\u20ac"'),
        (b'{"symbol": "BTC", "timeframe": "1h" "x"}', '"'),
    ],
)
def test_the_caret_line_underlines_the_whole_token(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], text: bytes, token: str
) -> None:
    (tmp_path / "s.json").write_bytes(text)
    report = run(["check", str(tmp_path / "s.json")], capsys)[2].splitlines()
    underlined: list[str] = []
    for source, caret in itertools.pairwise(report):
        if source.startswith("1 | ") and (marks := re.fullmatch(r" *\| *(\^+)", caret)):
            underlined.append(source[marks.start(1) : marks.end(1)])
    assert token in underlined


def test_check_lists_every_independent_error(tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
    text = BASE.replace('"symbol": "BTC-USDT"', '"symbol": 5').replace('"1h"', "true")
    text = text.replace('"qty": 1', '"qty": "one"')
    (tmp_path / "s.json").write_text(text, encoding="utf-8")
    status, out, _ = run(["check", "--format", "json", str(tmp_path / "s.json")], capsys)
    assert status == 1
    assert [(d["code"], d["pointer"]) for d in json.loads(out)] == [
        ("invalid-type", "/symbol"),
        ("invalid-type", "/timeframe"),
        ("invalid-type", "/sizing/qty"),
    ]
