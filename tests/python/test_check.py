"""Located diagnostics: lantor_compile.check, its lints, and `lantor-compile check`.

Each document row marks the expected place with ‸; the test removes the mark
and expects the diagnostic's line and column (in characters) there.
"""

from __future__ import annotations

import json
import re
import subprocess
import sys
from pathlib import Path

import pytest

from lantor_compile import Compiler, Diagnostic, check
from lantor_compile.cli import main

MARK = "‸"
EXAMPLES = sorted((Path(__file__).resolve().parents[2] / "examples").glob("*.json"))
# An example with a member that no record defines, which check warns about.
UNKNOWN_MEMBER = Path(__file__).resolve().parents[2] / "tests" / "data" / "strategies" / "unknown_member.json"

BASE = """{
  "symbol": "BTC-USDT",
  "timeframe": "1h",
  "indicators": {"rsi": {"type": "rsi", "params": [14]}},
  "entry": {"all": [{"lt": ["rsi", 30]}, {"in_position": false}]},
  "exit": {"gt": ["rsi", 70]},
  "sizing": {"type": "fixed_qty", "qty": 1}
}"""


def marked(old: str, new: str, base: str = BASE) -> str:
    assert old in base
    return base.replace(old, new, 1)


def unmark(text: str) -> tuple[str, int, int]:
    """The text without its mark, and the mark's line and character column."""
    before, _, after = text.partition(MARK)
    line = before.count("\n") + 1
    return before + after, line, len(before.rsplit("\n", 1)[-1]) + 1


def only(diagnostics: list[Diagnostic], severity: str) -> list[Diagnostic]:
    return [d for d in diagnostics if d.severity == severity]


ERRORS = [
    # (old, new with the mark, code, pointer)
    ('{\n  "symbol": "BTC-USDT",', "‸{", "missing-field", ""),
    ('"symbol": "BTC-USDT"', '"symbol": ‸5', "invalid-type", "/symbol"),
    ('"indicators": {"rsi"', '"indicators": {"a/b~": ‸{}, "rsi"', "missing-field", "/indicators/a~1b~0"),
    ('"params": [14]', '"params": [‸"14"]', "invalid-type", "/indicators/rsi/params/0"),
    ('"params": [14]', '"params": [14], "feed": ‸"Kline"', "unknown-variant", "/indicators/rsi/feed"),
    ('{"lt": ["rsi", 30]}', '{"lt": ‸["rsi"]}', "invalid-length", "/entry/all/0/lt"),
    ('{"in_position": false}', '{"in_position": ‸null}', "invalid-type", "/entry/all/1/in_position"),
    ('"exit": {"gt": ["rsi", 70]}', '"exit": {"all": ‸{}}', "invalid-type", "/exit/all"),
    (
        '"exit": {"gt": ["rsi", 70]}',
        '"exit": {"not": {"rising": ["rsi", ‸3.0]}}',
        "invalid-type",
        "/exit/not/rising/1",
    ),
    (
        '"sizing": {"type": "fixed_qty", "qty": 1}',
        '"sizing": ‸{"type": "fixed_qty"}',
        "missing-field",
        "/sizing",
    ),
    (
        '"sizing": {"type": "fixed_qty", "qty": 1}',
        '"sizing": ‸["vol_target", 0.2]',
        "invalid-length",
        "/sizing",
    ),
    ('"type": "fixed_qty"', '"type": ‸"fixed_size"', "unknown-variant", "/sizing/type"),
    (
        '"qty": 1}',
        '"qty": 1},\n  "costs": {"slippage": {"type": "volume_impact", "coef": ‸"x"}}',
        "invalid-type",
        "/costs/slippage/coef",
    ),
    (
        '"qty": 1}',
        '"qty": 1},\n  "risk": ‸[null, null, null, null, null, false, 1]',
        "invalid-length",
        "/risk",
    ),
    (
        '"qty": 1}',
        '"qty": 1},\n  "execution": {"latency_bars": ‸-1}',
        "invalid-value",
        "/execution/latency_bars",
    ),
    ('"qty": 1}', '"qty": 1},\n  "warmup": ‸1e400', "number-out-of-range", "/warmup"),
    ('"timeframe": "1h",', '"timeframe": "1h" ‸"x",', "syntax", ""),
    (BASE, "‸[]", "invalid-length", ""),
    (BASE, '‸[1, "BTC"]', "invalid-length", ""),
    # The crate name a compile without `crate_name` derives from the symbol.
    ('"symbol": "BTC-USDT"', '"symbol": ‸"1abc"', "invalid-crate-name", "/symbol"),
]


@pytest.mark.parametrize(("old", "new", "code", "pointer"), ERRORS)
def test_an_error_names_its_pointer_line_and_column(old: str, new: str, code: str, pointer: str) -> None:
    text, line, column = unmark(marked(old, new))
    errors = only(check(text), "error")
    assert [(e.code, e.pointer, e.line, e.column) for e in errors] == [(code, pointer, line, column)]
    # The message is the compile's own, after its prefix.
    if code != "syntax" and code != "number-out-of-range":
        command = '{"cmd":"compile","spec":{"strategy":' + text + ',"target":{"kind":"wasm"}},"dry_run":true}'
        response = json.loads(Compiler().command(command))
        prefix = (
            "bad spec: "
            if code == "invalid-crate-name"
            else "bad spec: strategy is not a valid StrategySpec: "
        )
        assert response["error"] == prefix + errors[0].message
    if code == "invalid-crate-name":
        assert errors[0].help is not None and "one that names its own crate is not affected" in errors[0].help


@pytest.mark.parametrize(
    ("operand", "reason_at", "reason"),
    [
        (
            '{"price": "closing"}',
            "/entry/all/0/lt/0/price",
            "unknown variant `closing`, expected one of `open`",
        ),
        (
            '{"add": [1, {"prev": ["rsi", -1]}]}',
            "/entry/all/0/lt/0/add/1/prev/1",
            "invalid value: integer `-1`",
        ),
        ("[1, 2]", "/entry/all/0/lt/0", "invalid type: sequence, expected string or map"),
    ],
)
def test_an_operand_that_fits_no_form_is_told_why(operand: str, reason_at: str, reason: str) -> None:
    text, line, column = unmark(marked('["rsi", 30]', "[‸" + operand + ", 30]"))
    [error] = only(check(text), "error")
    assert (error.code, error.pointer, error.line, error.column) == (
        "no-operand-form",
        "/entry/all/0/lt/0",
        line,
        column,
    )
    assert error.help is not None and f"at {reason_at}: {reason}" in error.help


LINTS = [
    # (old, new with the mark, code, help, suggestion)
    (
        '"qty": 1}',
        '"qty": 1},\n  "risk": {‸"stop_los_pct": 1}',
        "unknown-member",
        "did you mean `stop_loss_pct`?",
        '"stop_loss_pct"',
    ),
    ('"qty": 1}', '"qty": 1, ‸"fraction": 2}', "unknown-member", "the members read here are `qty`", None),
    ('"qty": 1}', '"qty": 1, ‸"": 2}', "unknown-member", "the members read here are `qty`", None),
    ('"symbol"', '‸"notes": "x",\n  "symbol"', "unknown-member", None, None),
    ('["rsi", 30]', '[‸"rsj", 30]', "undeclared-indicator", "did you mean `rsi`?", '"rsi"'),
    ('["rsi", 30]', '[‸"close", 30]', "undeclared-indicator", 'written {"price": "close"}', None),
    ('"indicators": {', '"indicators": {‸"ema": {"type": "ema"}, ', "unused-indicator", None, None),
    ('"timeframe": "1h"', '‸"timeframe": "4h", "timeframe": "1h"', "duplicate-member", "on line 3", None),
]


@pytest.mark.parametrize(("old", "new", "code", "help_text", "suggestion"), LINTS)
def test_a_lint_fires_where_it_should(
    old: str, new: str, code: str, help_text: str | None, suggestion: str | None
) -> None:
    text, line, column = unmark(marked(old, new))
    found = check(text)
    assert [(d.severity, d.code, d.line, d.column) for d in found] == [("warning", code, line, column)]
    if help_text is not None:
        assert found[0].help is not None and help_text in found[0].help
    assert found[0].suggestion == suggestion
    if suggestion is not None:
        # The suggestion stands in for exactly the token at fault.
        data = text.encode()
        end = found[0].offset + found[0].length
        assert check((data[: found[0].offset] + suggestion.encode() + data[end:]).decode()) == []
    # A warning never changes what a compile answers.
    command = '{"cmd":"compile","spec":{"strategy":' + text + ',"target":{"kind":"wasm"}},"dry_run":true}'
    assert '"manifest"' in Compiler().command(command)


def test_a_suggested_name_is_written_as_the_json_string_of_it() -> None:
    text = marked('{"lt": ["rsi", 30]}', '{"lt": ["rsi", 30]}, {"gt": ["r\\"sj", 1]}')
    text = marked('"indicators": {', '"indicators": {"r\\"si": {"type": "x"}, ', text)
    suggestions = {d.code: d.suggestion for d in check(text)}
    assert suggestions == {"unused-indicator": None, "undeclared-indicator": '"r\\"si"'}


@pytest.mark.parametrize(
    "text",
    [
        BASE,
        marked("{\n", '{\n  "$schema": "strategy.schema.json",\n'),
        marked('"qty": 1}', '"qty": 1},\n  "costs": {"slippage": {"type": "fixed_bps", "bps": 1}}'),
        marked('["rsi", 30]', '[{"prev": ["rsi", 1]}, {"price": "close"}]'),
    ],
)
def test_no_lint_fires_on_a_sound_document(text: str) -> None:
    assert check(text) == []


@pytest.mark.parametrize("path", [*EXAMPLES, UNKNOWN_MEMBER], ids=lambda p: p.stem)
def test_the_examples_draw_no_warning(path: Path) -> None:
    found = [(d.code, d.pointer) for d in check(path.read_text(encoding="utf-8"))]
    assert found == ([("unknown-member", "/notes")] if path == UNKNOWN_MEMBER else [])


@pytest.mark.parametrize("text", [b"{}", bytearray(b"{}"), memoryview(b"{}"), None, 5])
def test_check_takes_only_str(text: object) -> None:
    with pytest.raises(TypeError, match=f"'{type(text).__name__}' object is not an instance of 'str'"):
        check(text)  # type: ignore[arg-type]


@pytest.mark.parametrize(
    ("text", "line", "column"),
    [
        ('{\r\n\t"symbol": "é€😀",\r\n\t"timeframe": ‸5\r\n}', 3, 15),
        ('{"symbol": "😀😀", "timeframe": ‸true}', 1, 31),
        ('{"symbol":\t"x",\t"timeframe":\t‸[]}', 1, 30),
    ],
)
def test_columns_count_characters_whatever_the_line_ends(text: str, line: int, column: int) -> None:
    plain, marked_line, marked_column = unmark(text)
    assert (marked_line, marked_column) == (line, column)
    # The document lacks required members too: those errors stand at its start.
    [error] = [e for e in only(check(plain), "error") if e.pointer == "/timeframe"]
    assert (error.line, error.column) == (line, column)
    assert plain.encode("utf-8")[error.offset : error.offset + error.length] in (b"5", b"true", b"[")


@pytest.mark.parametrize(
    ("text", "pointer", "token"),
    [
        ('{"symbol": "a"}‸x', "", "x"),  # what trails the value, not the value
        ('{"symbol": "a"} \n ‸x', "", "x"),
        ("[1‸x]", "", "x"),
        ('"‸é', "", "é"),  # a place inside a character is that character
        ('"\\u00‸中"', "", "中"),
        ('{"symbol": "a\\ud800‸"}', "/symbol", '"'),  # a lone surrogate, at what follows it
    ],
)
def test_a_syntax_error_is_placed_on_the_character_at_fault(text: str, pointer: str, token: str) -> None:
    plain, line, column = unmark(text)
    [error] = only(check(plain), "error")
    assert (error.code, error.pointer, error.line, error.column) == ("syntax", pointer, line, column)
    assert plain.encode("utf-8")[error.offset : error.offset + error.length].decode("utf-8") == token


def broken_example(path: Path) -> tuple[str, str, int, int]:
    """The example with its first indicator's first parameter made a string."""
    text = path.read_text(encoding="utf-8")
    first = next(iter(json.loads(text)["indicators"]))
    broken = re.sub(r'"params": \[', '"params": [‸"x", ', text, count=1)
    plain, line, column = unmark(broken)
    return plain, f"/indicators/{first}/params/0", line, column


@pytest.mark.parametrize("path", EXAMPLES, ids=lambda p: p.stem)
def test_check_names_the_place_in_a_broken_copy_of_every_example(
    path: Path, tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    text, pointer, line, column = broken_example(path)
    file = tmp_path / path.name
    file.write_text(text, encoding="utf-8")
    assert main(["check", "--format", "json", str(file)]) == 1
    [item] = [i for i in json.loads(capsys.readouterr().out) if i["severity"] == "error"]
    assert item == {
        "file": str(file),
        "line": line,
        "column": column,
        "pointer": pointer,
        "severity": "error",
        "code": "invalid-type",
        "message": 'invalid type: string "x", expected f64',
        "help": "`f64` is a number, whole or not, such as 14 or 0.5",
    }


def test_the_three_formats_and_the_exit_statuses(tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
    warned, line, column = unmark(marked('"qty": 1}', '"qty": 1, ‸"qtty": 2}'))
    (tmp_path / "warned.json").write_text(warned, encoding="utf-8")
    (tmp_path / "clean.json").write_text(BASE, encoding="utf-8")
    warned_file, clean_file = str(tmp_path / "warned.json"), str(tmp_path / "clean.json")

    assert main(["check", clean_file, warned_file]) == 0
    human = capsys.readouterr().err
    assert "warning[unknown-member]: unknown member `qtty`" in human
    assert f"--> {warned_file}:{line}:{column} at /sizing/qtty" in human
    source = warned.splitlines()[line - 1]
    assert f"{line} | {source}\n" in human and "\n  | " + " " * (column - 1) + "^^^^^^\n" in human
    assert "= help: did you mean `qty`?" in human and "\x1b[" not in human

    assert main(["check", "--strict", "--format", "github", warned_file]) == 1
    assert capsys.readouterr().out == (
        f"::warning file={warned_file},line={line},col={column},title=unknown-member::"
        "unknown member `qtty`, ignored but kept in the embedded spec (at /sizing/qtty); help: did you mean `qty`?\n"
    )
    assert main(["check", "--format", "json", clean_file]) == 0
    assert json.loads(capsys.readouterr().out) == []
    assert main(["check", clean_file, str(tmp_path / "missing.json")]) == 2
    assert "missing.json cannot be read" in capsys.readouterr().err


def test_a_failed_compile_is_placed_in_the_strategy_file(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    text, line, column = unmark(marked('"qty": 1', '"qty": ‸"one"'))
    file = tmp_path / "s.json"
    file.write_text(text, encoding="utf-8")
    assert main(["compile", str(file), "--target", "wasm", "--dry-run", "--json"]) == 1
    err = capsys.readouterr().err
    assert "error: bad spec: strategy is not a valid StrategySpec: invalid type" in err
    assert 'error[invalid-type]: invalid type: string "one", expected f64\n' in err
    assert f"--> {file}:{line}:{column} at /sizing/qty" in err
    # A failure outside the file is not placed in it.
    (tmp_path / "ok.json").write_text(BASE, encoding="utf-8")
    assert main(["compile", str(tmp_path / "ok.json"), "--target", "no_std", "--mcu", "x", "--dry-run"]) == 1
    assert "-->" not in capsys.readouterr().err


class Stream:
    def __init__(self, tty: bool) -> None:
        self.tty = tty

    def isatty(self) -> bool:
        return self.tty


@pytest.mark.parametrize(
    ("tty", "no_color", "expected"), [(True, False, True), (True, True, False), (False, False, False)]
)
def test_colour_only_on_a_terminal_without_no_color(
    tty: bool, no_color: bool, expected: bool, monkeypatch: pytest.MonkeyPatch
) -> None:
    from lantor_compile.cli_report import use_colour

    monkeypatch.delenv("NO_COLOR", raising=False)
    if no_color:
        monkeypatch.setenv("NO_COLOR", "")
    assert use_colour(Stream(tty)) is expected  # type: ignore[arg-type]


COMMAND = """{"cmd": "compile",
 "spec": {
  "strategy": {"symbol": "BTC-USDT", "timeframe": "1h", "indicators": {},
               "entry": {"in_position": false}, "exit": {"in_position": true},
               "sizing": {"type": "fixed_qty", "qty": 1}},
  "target": {"kind": "wasm"}
 },
 "dry_run": true
}"""


@pytest.mark.parametrize(
    ("old", "new", "code", "pointer"),
    [
        (' "spec": {', ' "spek": {', "missing-field", ""),
        ('"target": {"kind": "wasm"}', '"target": {"kind": ‸"arm"}', "unknown-variant", "/spec/target/kind"),
        ('"target": {"kind": "wasm"}', '"target": ‸"wasm"', "invalid-type", "/spec/target"),
        ('"target": {"kind": "wasm"}', '"target": ‸{"kind": "no_std"}', "missing-field", "/spec/target"),
        ('"target": {"kind": "wasm"}', '"target": ‸["wasm", 1]', "invalid-length", "/spec/target"),
        (
            '"target": {"kind": "wasm"}',
            '"target": {"kind": "no_std", "mcu": ‸"x"}',
            "mcu-not-allowed",
            "/spec/target/mcu",
        ),
        (
            '"target": {"kind": "wasm"}',
            '"target": {"kind": "wasm"}, "opt_level": ‸"fast"',
            "unknown-variant",
            "/spec/opt_level",
        ),
        (
            '"target": {"kind": "wasm"}',
            '"target": {"kind": "wasm"}, ‸"target": 1',
            "duplicate-field",
            "/spec/target",
        ),
        ('"dry_run": true', '"dry_run": ‸null', "invalid-type", "/dry_run"),
        ('"symbol": "BTC-USDT"', '"symbol": ‸"1x"', "invalid-crate-name", "/spec/strategy/symbol"),
        ('"qty": 1', '"qty": ‸[]', "invalid-type", "/spec/strategy/sizing/qty"),
        ('"qty": 1', '"qty": ‸1e400', "number-out-of-range", "/spec/strategy/sizing/qty"),
    ],
)
def test_a_failed_compile_command_names_its_place(old: str, new: str, code: str, pointer: str) -> None:
    from lantor_compile.diagnostics import locate_compile_failure

    text, line, column = unmark(marked(old, new, COMMAND) if MARK in new else "‸" + marked(old, new, COMMAND))
    found = locate_compile_failure(text)
    assert found is not None
    assert (found.code, found.pointer, found.line, found.column) == (code, pointer, line, column)
    assert found.message in json.loads(Compiler().command(text))["error"]
    assert locate_compile_failure(COMMAND) is None


# Runs one native entry on an 8 MB document with the address space capped a
# little above what the process holds, so that the entry's allocations fail.
MEMORY_PROBE = """
import resource, sys
from lantor_compile import Compiler, check
from lantor_compile.diagnostics import locate_compile_failure
text = '{"symbol": "X", "notes": [' + ",".join(["1"] * 4_000_000) + "]}"
command = '{"cmd":"compile","dry_run":true,"spec":{"target":{"kind":"wasm"},"strategy":' + text + "}}"
calls = {"check": lambda: check(text), "locate": lambda: locate_compile_failure(command),
         "command": lambda: Compiler().command(command)}
call = calls[sys.argv[1]]
with open("/proc/self/statm") as statm:
    held = int(statm.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (held + 48 * 2**20, held + 48 * 2**20))
try:
    call()
except MemoryError:
    print("MemoryError")
"""


@pytest.mark.parametrize("entry", ["check", "locate", "command"])
def test_an_allocation_failure_raises_memory_error(entry: str) -> None:
    done = subprocess.run(
        [sys.executable, "-c", MEMORY_PROBE, entry], capture_output=True, text=True, timeout=120, check=False
    )
    assert (done.returncode, done.stdout) == (0, "MemoryError\n"), done.stderr[-2000:]
