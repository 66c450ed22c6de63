"""What a non-dry compile promises about the project it writes, seen from
Python: a FIFO cannot hold a compile up, a compile waiting for another's hold
on the project stops at Ctrl-C, and cargo does not outlive the process that
started it. (Links and whole files: tests/cpp/project/test_writer.cpp; turns
taken by concurrent compiles: test_concurrent_projects.py.)

Anything that could hang before these were mended runs in a child process
with a time bound.
"""

from __future__ import annotations

import contextlib
import fcntl
import json
import os
import shutil
import signal
import stat
import subprocess
import sys
import textwrap
import time
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

import pytest
from support import MINIMAL_STRATEGY

STANDIN = Path(__file__).resolve().parent.parent / "data" / "standin_cargo"
BOUND = 60  # seconds any child process of these tests may take


def install_cargo(bin_dir: Path, script: str) -> None:
    bin_dir.mkdir(exist_ok=True)
    exe = bin_dir / "cargo"
    shutil.copyfile(STANDIN / script, exe)
    exe.chmod(exe.stat().st_mode | stat.S_IXUSR)


def compile_text(out_dir: Path, target: str = "binary") -> str:
    return json.dumps(
        {
            "cmd": "compile",
            "out_dir": str(out_dir),
            "spec": {"strategy": MINIMAL_STRATEGY, "target": {"kind": target}},
        }
    )


@pytest.fixture
def cargo(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Callable[[str], None]]:
    """Installs a stand-in script as ``cargo`` first on PATH."""
    bin_dir = tmp_path / "bin"
    monkeypatch.setenv("PATH", f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    yield lambda script: install_cargo(bin_dir, script)


def start_python(code: str, **kwargs: Any) -> subprocess.Popen[str]:
    return subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(code)],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        **kwargs,
    )


def poll_until(done: Callable[[], bool]) -> bool:
    """Polls `done` for at most BOUND seconds."""
    deadline = time.monotonic() + BOUND
    while time.monotonic() < deadline:
        if done():
            return True
        time.sleep(0.01)
    return False


@pytest.mark.parametrize(
    ("fifo", "error"),
    [
        ("src/spec.json", "io: writing {project}/src/spec.json: No such device or address (os error 6)"),
        # A file the binary target does not generate, looked at only to see
        # whether it is a stale generated one.
        ("src/lib.rs", None),
    ],
    ids=["generated", "stale"],
)
def test_a_fifo_in_the_project_does_not_hold_the_compile(
    cargo: Callable[[str], None], tmp_path: Path, fifo: str, error: str | None
) -> None:
    cargo("record.sh")
    project = tmp_path / "out" / "btc_usdt"
    (project / "src").mkdir(parents=True)
    os.mkfifo(project / fifo)
    child = start_python(
        """
        from lantor_compile import Compiler
        print(Compiler().command(TEXT))
        """.replace("TEXT", repr(compile_text(tmp_path / "out")))
    )
    try:
        out, err = child.communicate(timeout=BOUND)
    finally:
        child.kill()
    response = json.loads(out)
    if error is None:
        assert response["built"] is True, err
        assert stat.S_ISFIFO((project / fifo).lstat().st_mode)
    else:
        assert response == {"ok": False, "error": error.format(project=project)}


def waiting_for_flock(path: Path) -> bool:
    """True once some descriptor waits for a flock on `path` (/proc/locks)."""
    inode = f":{path.stat().st_ino} "
    with open("/proc/locks") as locks:
        return any("-> FLOCK" in line and inode in line for line in locks)


def test_ctrl_c_ends_a_wait_for_another_compile_of_the_project(
    cargo: Callable[[str], None], tmp_path: Path
) -> None:
    cargo("record.sh")
    project = tmp_path / "out" / "btc_usdt"
    project.mkdir(parents=True)
    held = os.open(project, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(held, fcntl.LOCK_EX)  # as a compile running elsewhere would
        child = start_python(
            """
            from lantor_compile import Compiler
            print(Compiler().command(TEXT))
            """.replace("TEXT", repr(compile_text(tmp_path / "out")))
        )
        try:
            assert poll_until(lambda: waiting_for_flock(project))
            assert not (project / "Cargo.toml").exists()
            child.send_signal(signal.SIGINT)
            out, err = child.communicate(timeout=BOUND)
        finally:
            child.kill()
    finally:
        os.close(held)
    assert out == ""
    assert err.rstrip().endswith("KeyboardInterrupt"), err
    assert not (project / "Cargo.toml").exists()


def test_cargo_dies_with_the_process_that_started_it(cargo: Callable[[str], None], tmp_path: Path) -> None:
    cargo("wait_long.sh")
    pid_file = tmp_path / "out" / "btc_usdt" / "standin_pid.txt"
    child = start_python(
        """
        from lantor_compile import Compiler
        Compiler().command(TEXT)
        """.replace("TEXT", repr(compile_text(tmp_path / "out")))
    )
    cargo_pid = 0
    try:
        assert poll_until(pid_file.exists)
        cargo_pid = int(pid_file.read_text())
        child.kill()
        child.wait(timeout=BOUND)

        def gone() -> bool:
            try:
                with open(f"/proc/{cargo_pid}/stat") as f:
                    # Dead and not yet reaped by whoever inherited it.
                    return f.read().rsplit(")", 1)[1].split()[0] == "Z"
            except FileNotFoundError:
                return True

        assert poll_until(gone)
    finally:
        child.kill()
        if cargo_pid:
            with contextlib.suppress(ProcessLookupError):
                os.kill(cargo_pid, signal.SIGKILL)
