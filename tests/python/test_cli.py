"""The lantor-compile command-line tool, run as a separate process."""

from __future__ import annotations

import fcntl
import hashlib
import json
import os
import resource
import signal
import stat
import struct
import subprocess
import sys
import termios
import time
from collections.abc import Callable
from pathlib import Path

import pytest

import lantor_compile
from lantor_compile import Compiler
from lantor_compile.schema import strategy_schema_text

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"
EXAMPLE_NAMES = [
    "trend_ema_cross",
    "mean_reversion_rsi",
    "volatility_breakout_atr",
    "spread_pair",
    "long_short_momentum",
]
TREND = EXAMPLES / "trend_ema_cross.json"

# The directory that holds the package actually imported here (a dev build or
# an installed one), so that the child process runs the same code.
PACKAGE_PARENT = str(Path(lantor_compile.__file__).resolve().parent.parent)


def run_cli(
    *args: str,
    stdin: bytes = b"",
    path_prefix: Path | None = None,
    cwd: Path | None = None,
    search_path: str | None = None,
    redirect: str = "",
    memory_limit: int | None = None,
) -> subprocess.CompletedProcess[str]:
    """The tool in a child process; ``redirect`` is a shell redirection for it, such as ``<&-``."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [PACKAGE_PARENT, env.get("PYTHONPATH")]))
    if search_path is not None:
        env["PATH"] = search_path
    if path_prefix is not None:
        env["PATH"] = os.pathsep.join([str(path_prefix), env.get("PATH", "")])

    def limit_memory() -> None:
        if memory_limit is not None:
            resource.setrlimit(resource.RLIMIT_AS, (memory_limit, memory_limit))

    done = subprocess.run(
        ["sh", "-c", f'exec "$@" {redirect}', "sh", sys.executable, "-m", "lantor_compile", *args],
        input=stdin,
        capture_output=True,
        env=env,
        cwd=cwd,
        preexec_fn=limit_memory,
        timeout=300,
    )
    return subprocess.CompletedProcess(
        done.args, done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")
    )


def direct(command: object) -> str:
    """The response of a compiler called in this process, as an oracle."""
    return Compiler().command(json.dumps(command))


def dry_compile_command(strategy_file: Path, target: dict[str, str]) -> dict[str, object]:
    strategy = json.loads(strategy_file.read_text(encoding="utf-8"))
    return {"cmd": "compile", "spec": {"strategy": strategy, "target": target}, "dry_run": True}


def stand_in_cargo(directory: Path, script: str, name: str = "cargo") -> Path:
    """An executable named cargo (or ``name``) that runs ``script`` instead."""
    directory.mkdir(exist_ok=True)
    cargo = directory / name
    cargo.write_text("#!/bin/sh\n" + script + "\n")
    cargo.chmod(cargo.stat().st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    return directory


@pytest.mark.parametrize(
    ("args", "command"),
    [
        (["version"], lambda: {"cmd": "version"}),
        (["targets"], lambda: {"cmd": "targets"}),
        (
            ["compile", str(TREND), "--target", "binary", "--dry-run"],
            lambda: dry_compile_command(TREND, {"kind": "binary"}),
        ),
    ],
    ids=["version", "targets", "compile"],
)
def test_compact_output_is_the_exact_response_and_indented_output_has_equal_content(
    args: list[str], command: Callable[[], object]
) -> None:
    expected = direct(command())
    compact = run_cli(*args, "--json")
    indented = run_cli(*args)
    assert (compact.returncode, indented.returncode) == (0, 0), compact.stderr + indented.stderr
    assert compact.stdout == expected + "\n"
    assert indented.stdout != compact.stdout
    assert "\n  " in indented.stdout
    assert json.loads(indented.stdout) == json.loads(expected)


@pytest.mark.parametrize("strict", [False, True], ids=["exact", "strict"])
def test_schema_prints_the_shipped_schema_text(strict: bool) -> None:
    done = run_cli("schema", *(["--strict"] if strict else []))
    assert done.returncode == 0, done.stderr
    assert done.stdout == strategy_schema_text(strict=strict)
    assert json.loads(done.stdout) == lantor_compile.strategy_schema(strict=strict)


def test_json_flag_is_accepted_before_the_subcommand() -> None:
    done = run_cli("--json", "version")
    assert done.returncode == 0
    assert done.stdout == direct({"cmd": "version"}) + "\n"


@pytest.mark.parametrize("name", EXAMPLE_NAMES)
def test_every_example_compiles_as_a_dry_run(name: str) -> None:
    done = run_cli("compile", str(EXAMPLES / f"{name}.json"), "--target", "wasm", "--dry-run", "--json")
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""  # a dry run announces no build
    response = json.loads(done.stdout)
    assert list(response) == ["target", "manifest", "built"]
    assert response["built"] is False


def test_trend_example_derives_its_crate_name_from_the_symbol() -> None:
    done = run_cli("compile", str(TREND), "--target", "binary", "--dry-run")
    assert done.returncode == 0, done.stderr
    assert json.loads(done.stdout)["manifest"]["crate_name"] == "btc_usdt"


def test_standard_input_is_read_for_a_dash() -> None:
    from_stdin = run_cli("compile", "-", "--target", "wasm", "--dry-run", "--json", stdin=TREND.read_bytes())
    from_file = run_cli("compile", str(TREND), "--target", "wasm", "--dry-run", "--json")
    assert from_stdin.returncode == 0, from_stdin.stderr
    assert from_stdin.stdout == from_file.stdout


def test_options_reach_the_request() -> None:
    done = run_cli(
        "compile",
        str(TREND),
        "--target",
        "no_std",
        "--mcu",
        "thumbv7em-none-eabihf",
        "--opt-level",
        "size",
        "--crate-name",
        "bot",
        "--dry-run",
        "--json",
    )
    assert done.returncode == 0, done.stderr
    manifest = json.loads(done.stdout)["manifest"]
    assert manifest["target"] == {"kind": "no_std", "mcu": "thumbv7em-none-eabihf"}
    assert manifest["opt_level"] == "size"
    assert manifest["crate_name"] == "bot"


def test_datasets_are_embedded(tmp_path: Path) -> None:
    csv = tmp_path / "candles.csv"
    csv.write_text("ts,open,high,low,close,volume\n1,1,2,0.5,1.5,10\n")
    candles = tmp_path / "candles.json"
    candles.write_text('[{"ts":1,"close":1.5}]')
    files = {}
    for option, path in (("--csv", csv), ("--candles", candles)):
        done = run_cli("compile", str(TREND), "--target", "binary", option, str(path), "--dry-run", "--json")
        assert done.returncode == 0, done.stderr
        files[option] = {f["path"]: f for f in json.loads(done.stdout)["manifest"]["files"]}
    assert files["--csv"]["src/candles.csv"]["bytes_len"] == csv.stat().st_size
    assert "src/candles.json" not in files["--csv"]
    assert "src/candles.json" in files["--candles"]


def test_strategy_text_reaches_the_compiler_unchanged(tmp_path: Path) -> None:
    # -0 is a float (negative zero) to the compiler but the integer 0 to a
    # parse-and-reserialise round trip; only the file's own text keeps them apart.
    text = TREND.read_text(encoding="utf-8").strip()
    assert text.startswith("{")
    hashes = []
    for spelling in ("-0", "0"):
        strategy = tmp_path / f"zero{spelling}.json"
        strategy.write_text('{"notes":' + spelling + "," + text[1:])
        done = run_cli("compile", str(strategy), "--target", "wasm", "--dry-run", "--json")
        assert done.returncode == 0, done.stderr
        hashes.append(json.loads(done.stdout)["manifest"]["spec_hash"])
    assert hashes[0] != hashes[1]


@pytest.mark.parametrize(
    ("strategy", "extra", "error"),
    [
        ('{"timeframe":"1h"}', [], "bad spec: strategy is not a valid StrategySpec: missing field `symbol`"),
        (
            None,
            ["--target", "no_std", "--mcu", "Thumbv7em-none-eabihf"],
            'bad target: mcu "Thumbv7em-none-eabihf" is not in the allowlist',
        ),
        (None, ["--crate-name", "MyBot"], 'bad spec: crate name "MyBot" is not a valid identifier'),
        (
            None,
            ["--csv", "/nonexistent/candles.csv"],
            "io: reading /nonexistent/candles.csv: No such file or directory (os error 2)",
        ),
    ],
    ids=["bad-spec", "bad-target", "bad-crate-name", "missing-csv"],
)
def test_domain_errors_exit_1_with_the_error_on_stderr(
    tmp_path: Path, strategy: str | None, extra: list[str], error: str
) -> None:
    path = TREND
    if strategy is not None:
        path = tmp_path / "strategy.json"
        path.write_text(strategy)
    if "--target" not in extra:
        extra = ["--target", "wasm", *extra]
    done = run_cli("compile", str(path), *extra, "--dry-run", "--json")
    assert done.returncode == 1
    assert error in done.stderr
    response = json.loads(done.stdout)
    assert response["ok"] is False and response["error"].startswith(error)


@pytest.mark.parametrize(
    ("args", "stdin", "message"),
    [
        ([], b"", "required"),
        (["compile", "{trend}", "--target", "binary", "--mcu", "thumbv6m-none-eabi"], b"", "--mcu"),
        (["compile", "{trend}", "--target", "no_std"], b"", "--mcu"),
        (["compile", "{trend}"], b"", "--target"),
        (["compile", "{trend}", "--target", "arm"], b"", "invalid choice"),
        (["compile", "{trend}", "--target", "wasm", "--opt-level", "fast"], b"", "invalid choice"),
        (
            ["compile", "{trend}", "--target", "wasm", "--csv", "a.csv", "--candles", "{trend}"],
            b"",
            "not allowed",
        ),
        (["compile", "{missing}", "--target", "wasm"], b"", "cannot read strategy file"),
        (["compile", "{tmp}", "--target", "wasm"], b"", "no strategy files (*.json) in folder"),
        (["compile", "-", "{trend}", "--target", "wasm"], b"", "cannot be combined"),
        (["compile", "{trend}", "{trend}", "--target", "wasm", "-j", "0"], b"", "at least 1"),
        (["compile", "-", "--target", "wasm"], b"", "is not JSON"),
        (["compile", "-", "--target", "wasm"], b'{"symbol":"X"} {}', "is not JSON"),
        (["compile", "-", "--target", "wasm"], b'{"warmup":NaN}', "is not JSON"),
        (["compile", "-", "--target", "wasm"], b'{"symbol":"\xff"}', "not UTF-8"),
        (
            ["compile", "{trend}", "--target", "wasm", "--candles", "{missing}"],
            b"",
            "cannot read candles file",
        ),
        (["hash"], b"", "FILE"),
        (["frobnicate"], b"", "invalid choice"),
    ],
    ids=[
        "no-command",
        "mcu-without-no_std",
        "no_std-without-mcu",
        "no-target",
        "unknown-target",
        "unknown-opt-level",
        "two-datasets",
        "missing-file",
        "empty-folder",
        "stdin-and-file",
        "no-jobs",
        "empty-stdin",
        "two-values",
        "nan",
        "not-utf8",
        "missing-candles",
        "hash-without-file",
        "unknown-command",
    ],
)
def test_usage_errors_exit_2(tmp_path: Path, args: list[str], stdin: bytes, message: str) -> None:
    names = {"{trend}": str(TREND), "{missing}": str(tmp_path / "missing.json"), "{tmp}": str(tmp_path)}
    done = run_cli(*[names.get(arg, arg) for arg in args], stdin=stdin)
    assert done.returncode == 2
    assert message in done.stderr
    assert done.stdout == ""


def test_hash_reports_length_and_digest(tmp_path: Path) -> None:
    data = b"artifact bytes\x00\xff"
    artifact = tmp_path / "artifact.bin"
    artifact.write_bytes(data)
    done = run_cli("hash", str(artifact), "--json")
    assert done.returncode == 0, done.stderr
    assert json.loads(done.stdout) == {
        "handle": 0,
        "len": len(data),
        "sha256": hashlib.sha256(data).hexdigest(),
    }


def test_hash_of_a_missing_file_is_a_domain_error(tmp_path: Path) -> None:
    missing = tmp_path / "missing.bin"
    done = run_cli("hash", str(missing))
    assert done.returncode == 1
    assert f"reading {missing}: No such file or directory (os error 2)" in done.stderr


def test_real_build_announces_itself_and_reports_the_elapsed_time(tmp_path: Path) -> None:
    bin_dir = stand_in_cargo(tmp_path / "bin", "exit 0")
    out = tmp_path / "out"
    done = run_cli(
        "compile",
        str(TREND),
        "--target",
        "binary",
        "--crate-name",
        "trend",
        "--out-dir",
        str(out),
        "--json",
        path_prefix=bin_dir,
    )
    assert done.returncode == 0, done.stderr
    before, after = done.stderr.splitlines()
    assert before.startswith("lantor-compile: building binary")
    assert "crate trend" in before and str(out) in before
    assert after.startswith("lantor-compile: build finished in ") and after.endswith(" s")
    response = json.loads(done.stdout)
    assert response["built"] is True
    assert response["path"] == f"{out}/trend/target/release/trend"
    assert (out / "trend" / "Cargo.toml").is_file()


def test_default_output_directory_is_named_in_the_notice(tmp_path: Path) -> None:
    bin_dir = stand_in_cargo(tmp_path / "bin", "exit 0")
    done = run_cli("compile", str(TREND), "--target", "wasm", path_prefix=bin_dir, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert "in _out (default)" in done.stderr.splitlines()[0]
    assert (tmp_path / "_out" / "btc_usdt" / "src" / "spec.json").is_file()


def test_failed_build_exits_1_and_still_reports_the_elapsed_time(tmp_path: Path) -> None:
    bin_dir = stand_in_cargo(tmp_path / "bin", 'echo "error: linker not found" >&2\nexit 101')
    done = run_cli(
        "compile",
        str(TREND),
        "--target",
        "no_std",
        "--mcu",
        "thumbv6m-none-eabi",
        "--out-dir",
        str(tmp_path / "out"),
        path_prefix=bin_dir,
    )
    assert done.returncode == 1
    lines = done.stderr.splitlines()
    assert lines[0].startswith("lantor-compile: building no_std for thumbv6m-none-eabi")
    assert "lantor-compile: error: build: error: linker not found" in done.stderr
    assert lines[-1].startswith("lantor-compile: build failed after ")


# ---------------------------------------------------------------- several strategies


def summary_lines(stderr: str) -> list[str]:
    """The summary: its count line and the error lines after it."""
    lines = stderr.splitlines()
    start = next(i for i, line in enumerate(lines) if " failed, in " in line)
    return lines[start:]


@pytest.mark.parametrize("as_folder", [True, False], ids=["folder", "files-in-given-order"])
def test_several_strategies_print_each_response_in_file_order(as_folder: bool) -> None:
    files = (
        sorted(EXAMPLES.glob("*.json"))
        if as_folder
        else [EXAMPLES / f"{n}.json" for n in reversed(EXAMPLE_NAMES)]
    )
    given = [str(EXAMPLES)] if as_folder else [str(f) for f in files]
    done = run_cli("compile", *given, "--target", "binary", "--dry-run", "--json", "-j", "2")
    assert done.returncode == 0, done.stderr
    expected = [direct(dry_compile_command(f, {"kind": "binary"})) for f in files]
    assert done.stdout == "".join(text + "\n" for text in expected)
    assert summary_lines(done.stderr)[0].startswith("lantor-compile: 5 passed the dry run, 0 failed, in ")
    assert "%|" not in done.stderr  # no progress bar when standard error is not a terminal


def test_several_strategies_with_failures_exit_1_and_list_each_error(tmp_path: Path) -> None:
    (tmp_path / "a_bad.json").write_text('{"timeframe":"1h"}')
    (tmp_path / "b_good.json").write_bytes(TREND.read_bytes())
    (tmp_path / "c_bad.json").write_text('{"symbol":"X"}')
    done = run_cli("compile", str(tmp_path), "--target", "wasm", "--dry-run", "--json")
    assert done.returncode == 1
    assert [list(json.loads(line)) for line in done.stdout.splitlines()] == [
        ["ok", "error"],
        ["target", "manifest", "built"],
        ["ok", "error"],
    ]
    count, *errors = summary_lines(done.stderr)
    assert count.startswith("lantor-compile: 1 passed the dry run, 2 failed, in ")
    assert errors == [
        f"lantor-compile: error: {tmp_path / 'a_bad.json'}: bad spec: strategy is not a valid StrategySpec: missing field `symbol`",
        f"lantor-compile: error: {tmp_path / 'c_bad.json'}: bad spec: strategy is not a valid StrategySpec: missing field `timeframe`",
    ]


def test_strategies_that_would_share_a_project_directory_are_refused_unless_each_gets_its_own(
    tmp_path: Path,
) -> None:
    bin_dir = stand_in_cargo(tmp_path / "bin", "exit 0")
    sweep = tmp_path / "sweep"
    sweep.mkdir()
    for name in ("fast", "slow"):
        (sweep / f"{name}.json").write_bytes(TREND.read_bytes())
    out = tmp_path / "out"
    common = ["compile", str(sweep), "--target", "binary", "--out-dir", str(out), "--json"]

    refused = run_cli(*common, path_prefix=bin_dir)
    assert refused.returncode == 2
    assert f"would be written to one project directory, {out / 'btc_usdt'}" in refused.stderr
    assert not out.exists()

    built = run_cli(*common, "--dir-per-file", path_prefix=bin_dir)
    assert built.returncode == 0, built.stderr
    assert built.stderr.startswith("lantor-compile: building 2 strategies for binary, ")
    paths = [json.loads(line)["path"] for line in built.stdout.splitlines()]
    assert paths == [f"{out}/{name}/btc_usdt/target/release/btc_usdt" for name in ("fast", "slow")]
    count, *errors = summary_lines(built.stderr)
    assert count.startswith("lantor-compile: 2 built, 0 failed, in ") and errors == []


def test_progress_bar_shows_when_standard_error_is_a_terminal() -> None:
    leader, follower = os.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    env = dict(
        os.environ, PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")]))
    )
    child = subprocess.Popen(
        [sys.executable, "-m", "lantor_compile", "compile", str(EXAMPLES), "--target", "wasm", "--dry-run"],
        stdout=subprocess.DEVNULL,
        stderr=follower,
        env=env,
    )
    os.close(follower)
    seen = b""
    while True:  # read as it comes, or a full terminal buffer would stall the child
        try:
            chunk = os.read(leader, 65536)
        except OSError:  # the child has closed the terminal
            break
        if not chunk:
            break
        seen += chunk
    os.close(leader)
    assert child.wait(timeout=300) == 0
    assert b"5/5" in seen and b"100%" in seen


def test_ctrl_c_stops_every_build_and_exits_130(tmp_path: Path) -> None:
    # One process that marks its start and then waits: a shell running touch and
    # then sleep can take the signal between the two and still start the sleep.
    waiter = (
        "import pathlib, signal, time; signal.signal(signal.SIGINT, signal.SIG_DFL); "
        "pathlib.Path('started').touch(); time.sleep(120)"
    )
    bin_dir = stand_in_cargo(tmp_path / "bin", f'exec "{sys.executable}" -c "{waiter}"')
    sweep = tmp_path / "sweep"
    sweep.mkdir()
    for name in "abcd":
        (sweep / f"{name}.json").write_bytes(TREND.read_bytes())
    env = dict(
        os.environ,
        PATH=f"{bin_dir}{os.pathsep}{os.environ['PATH']}",
        PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")])),
    )
    child = subprocess.Popen(
        [
            sys.executable,
            "-m",
            "lantor_compile",
            "compile",
            str(sweep),
            "--target",
            "binary",
            "-j",
            "2",
            "--dir-per-file",
            "--out-dir",
            str(tmp_path / "out"),
        ],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        env=env,
        start_new_session=True,
    )
    try:
        started = sorted(tmp_path.glob("out/*/btc_usdt/started"))
        while len(started) < 2 and child.poll() is None:
            time.sleep(0.05)
            started = sorted(tmp_path.glob("out/*/btc_usdt/started"))
        os.killpg(child.pid, signal.SIGINT)  # what the terminal does on Ctrl-C
        _, stderr = child.communicate(timeout=60)  # far below the stand-in's two minutes
    finally:
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGKILL)
    assert child.returncode == 130
    assert "Traceback" not in stderr.decode()
    # The queued strategies were never started, and nothing of the run is left.
    assert len(list(tmp_path.glob("out/*/btc_usdt/started"))) == 2
    assert subprocess.run(["pgrep", "-g", str(child.pid)], capture_output=True).stdout == b""


LOCK_WITH_BINDGEN = """version = 4

[[package]]
name = "wasm-bindgen"
version = "0.2.130"

[[package]]
name = "wasm-bindgen-macro"
version = "0.2.999"
"""


@pytest.mark.parametrize(
    ("bindgen_installed", "lock", "install"),
    [
        (False, LOCK_WITH_BINDGEN, "cargo install wasm-bindgen-cli --version 0.2.130"),
        (False, None, "cargo install wasm-bindgen-cli"),
        (True, LOCK_WITH_BINDGEN, None),
    ],
    ids=["missing", "missing-without-lock", "installed"],
)
def test_wasm_build_without_wasm_bindgen_says_what_to_install(
    tmp_path: Path, bindgen_installed: bool, lock: str | None, install: str | None
) -> None:
    bin_dir = stand_in_cargo(tmp_path / "bin", "exit 0")
    if bindgen_installed:
        stand_in_cargo(bin_dir, "exit 0", name="wasm-bindgen")
    project = tmp_path / "out" / "btc_usdt"
    project.mkdir(parents=True)
    if lock is not None:
        (project / "Cargo.lock").write_text(lock)
    # Only the stand-ins and the system's tools: no wasm-bindgen installed here.
    done = run_cli(
        "compile",
        str(TREND),
        "--target",
        "wasm",
        "--out-dir",
        str(tmp_path / "out"),
        "--json",
        search_path=os.pathsep.join([str(bin_dir), "/usr/bin", "/bin"]),
    )
    assert done.returncode == 0, done.stderr
    assert json.loads(done.stdout)["path"] == f"{project}/pkg/btc_usdt_bg.wasm"
    hints = done.stderr.splitlines()[2:]
    if install is None:
        assert hints == []
    else:
        assert hints == [
            f"lantor-compile: wasm-bindgen is not installed, so {project}/pkg/btc_usdt_bg.wasm was not "
            f"made; install it with `{install}` (the version of the wasm-bindgen crate in "
            f"{project}/Cargo.lock) and compile again"
        ]


def test_several_wasm_builds_without_wasm_bindgen_give_the_hint_once(tmp_path: Path) -> None:
    bin_dir = stand_in_cargo(tmp_path / "bin", "exit 0")
    sweep = tmp_path / "sweep"
    sweep.mkdir()
    for name in ("a", "b"):
        (sweep / f"{name}.json").write_bytes(TREND.read_bytes())
    done = run_cli(
        "compile",
        str(sweep),
        "--target",
        "wasm",
        "--dir-per-file",
        "--out-dir",
        str(tmp_path / "out"),
        search_path=os.pathsep.join([str(bin_dir), "/usr/bin", "/bin"]),
    )
    assert done.returncode == 0, done.stderr
    hints = [line for line in done.stderr.splitlines() if "wasm-bindgen is not installed" in line]
    assert len(hints) == 1 and "`cargo install wasm-bindgen-cli`" in hints[0], done.stderr
