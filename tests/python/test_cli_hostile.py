"""The command-line tool under careless or hostile input: endless streams,
closed standard input, control characters in what it prints, file names that
point outside the output directory, lines too long to print."""

from __future__ import annotations

import os
import resource
import subprocess
import sys

import pytest
from test_cli import EXAMPLES, PACKAGE_PARENT, TREND

# Far above what the tool needs, far below what an unbounded read takes.
MEMORY_LIMIT = 1 << 30


def limit_memory() -> None:
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))


def run_limited(*args: str, stdin: str | bytes | None = None) -> subprocess.CompletedProcess[str]:
    """The tool with its memory capped; ``stdin`` a file to read, "closed", or bytes sent through a pipe."""
    env = dict(
        os.environ, PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")]))
    )
    command = [sys.executable, "-m", "lantor_compile", *args]
    if stdin == "closed":
        command = ["sh", "-c", 'exec "$@" <&-', "sh", *command]
    piped = stdin if isinstance(stdin, bytes) else None
    with open(stdin if isinstance(stdin, str) and stdin != "closed" else os.devnull, "rb") as source:
        done = subprocess.run(
            command,
            stdin=None if piped is not None else source,
            input=piped,
            capture_output=True,
            env=env,
            preexec_fn=limit_memory,
            timeout=120,
        )
    return subprocess.CompletedProcess(
        done.args, done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")
    )


@pytest.mark.parametrize(
    ("args", "stdin", "message"),
    [
        (["check", "/dev/zero"], None, "/dev/zero is longer than 256 MiB"),
        (["check", "-"], "/dev/zero", "<stdin> is longer than 256 MiB"),
        (
            ["compile", "/dev/zero", "--target", "wasm"],
            None,
            "strategy file /dev/zero is longer than 256 MiB",
        ),
        (
            ["compile", str(TREND), "--target", "wasm", "--dry-run", "--candles", "/dev/zero"],
            None,
            "candles file /dev/zero is longer than 256 MiB",
        ),
        (["check", "-"], "closed", "<stdin> cannot be read"),
        (["compile", "-", "--target", "wasm"], "closed", "cannot read strategy file standard input"),
    ],
    ids=["check-device", "check-stdin", "compile-device", "candles-device", "check-closed", "compile-closed"],
)
def test_endless_or_closed_inputs_are_usage_errors(args: list[str], stdin: str | None, message: str) -> None:
    done = run_limited(*args, stdin=stdin)
    assert (done.returncode, done.stdout) == (2, ""), done.stderr
    assert message in done.stderr and "Traceback" not in done.stderr


def test_a_pipe_within_the_limit_is_read_whole() -> None:
    text = (EXAMPLES / "spread_pair.json").read_bytes()
    piped = run_limited(
        "compile", "-", "--target", "wasm", "--dry-run", "--json", stdin=text + b" " * 3_000_000
    )
    whole = run_limited("compile", "-", "--target", "wasm", "--dry-run", "--json", stdin=text)
    assert (piped.returncode, piped.stdout) == (0, whole.stdout), piped.stderr
