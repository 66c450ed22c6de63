"""``command_nogil`` and ``command_batch_nogil`` under threads: the guarantees
of ``command`` hold while the interpreter lock is released (each instance
answers only its own thread, its handles number as before, a foreign call
raises without touching it), a running command keeps the working directory
and environment of its start, and a batch starts no command once stopped.
"""

from __future__ import annotations

import fcntl
import json
import os
import shutil
import signal
import stat
import threading
import time
from collections.abc import Callable
from pathlib import Path

import pytest
import test_threads
from support import MINIMAL_STRATEGY

from lantor_compile import Compiler, PanicException, StopFlag

STANDIN = Path(__file__).resolve().parent.parent / "data" / "standin_cargo"


def install_cargo(tmp_path: Path, monkeypatch: pytest.MonkeyPatch, script: str) -> None:
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    shutil.copyfile(STANDIN / script, bin_dir / "cargo")
    (bin_dir / "cargo").chmod(stat.S_IRWXU)
    monkeypatch.setenv("PATH", f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")


def build_command(out_dir: str) -> str:
    spec = {"strategy": MINIMAL_STRATEGY, "target": {"kind": "binary"}}
    return json.dumps({"cmd": "compile", "spec": spec, "out_dir": out_dir})


def poll_until(done: Callable[[], bool], bound: float = 60) -> bool:
    deadline = time.monotonic() + bound
    while time.monotonic() < deadline:
        if done():
            return True
        time.sleep(0.01)
    return False


def test_instances_on_many_threads_without_the_lock(tmp_path: Path) -> None:
    # The workload of test_threads, every call made without the lock.
    source = test_threads.WORKLOAD.replace("compiler.command(", "compiler.command_nogil(")
    assert source.count("command_nogil(") == 4
    namespace: dict[str, object] = {"__name__": "workload"}
    exec(compile(source, "workload_nogil", "exec"), namespace)
    run = namespace["run"]
    assert run(str(tmp_path), test_threads.THREADS, test_threads.ROUNDS) == (  # type: ignore[operator]
        test_threads.THREADS * test_threads.ROUNDS
    )


def test_a_foreign_call_during_a_running_command_is_refused(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    install_cargo(tmp_path, monkeypatch, "wait_for_go.sh")
    go = tmp_path / "go"
    monkeypatch.setenv("STANDIN_GO", str(go))
    lent: list[Compiler] = []
    responses: list[str] = []
    ready, returned = threading.Event(), threading.Event()

    def owner() -> None:
        compiler = Compiler()
        lent.append(compiler)
        ready.set()
        responses.append(compiler.command_nogil(build_command(str(tmp_path / "out"))))
        returned.wait(60)
        responses.append(compiler.command_nogil('{"cmd":"version"}'))
        # Dropped here, on its own thread.

    thread = threading.Thread(target=owner)
    thread.start()
    try:
        assert ready.wait(60)
        assert poll_until((tmp_path / "out/btc_usdt/standin_started.txt").exists)
        compiler = lent.pop()
        reset = '{"cmd":"reset"}'
        for method, argument in [
            ("command", reset),
            ("command_nogil", reset),
            ("command_batch_nogil", [reset]),
        ]:
            with pytest.raises(PanicException, match="unsendable, but sent to another thread"):
                getattr(compiler, method)(argument)
        del compiler
    finally:
        returned.set()
        go.touch()
        thread.join(60)
    assert json.loads(responses[0])["built"] is True
    assert responses[1] == '{"version":"0.1.2","backtest_dep":"0.1.5"}'


def waiting_for_flock(path: Path) -> bool:
    inode = f":{path.stat().st_ino} "
    with open("/proc/locks") as locks:
        return any("-> FLOCK" in line and inode in line for line in locks)


def test_a_command_keeps_the_directory_and_environment_of_its_start(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    install_cargo(tmp_path, monkeypatch, "record.sh")
    first, second = tmp_path / "first", tmp_path / "second"
    project = first / "out" / "btc_usdt"
    project.mkdir(parents=True)
    second.mkdir()
    monkeypatch.chdir(first)
    monkeypatch.setenv("LANTOR_TEST_SEEN", "at the start")
    responses: list[str] = []

    def compile_relative() -> None:
        compiler = Compiler()
        responses.append(compiler.command_nogil(build_command("out")))

    # Another compile holds the project, so the command waits after its start
    # while the directory and the environment change under it.
    held = os.open(project, os.O_RDONLY | os.O_DIRECTORY)
    thread = threading.Thread(target=compile_relative)
    try:
        fcntl.flock(held, fcntl.LOCK_EX)
        thread.start()
        assert poll_until(lambda: waiting_for_flock(project))
        os.chdir(second)
        os.environ["LANTOR_TEST_SEEN"] = "changed later"
    finally:
        os.close(held)
        thread.join(60)
    assert json.loads(responses[0])["path"] == "out/btc_usdt/target/release/btc_usdt"
    assert (project / "standin_env.txt").read_text() == "at the start\n"
    assert not (second / "out").exists()


VERSION = '{"cmd":"version"}'


def test_a_batch_starts_no_command_once_stopped(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    install_cargo(tmp_path, monkeypatch, "wait_for_go.sh")
    go = tmp_path / "go"
    monkeypatch.setenv("STANDIN_GO", str(go))
    stop = StopFlag()
    results: list[tuple[list[str], BaseException | None]] = []

    def run() -> None:
        compiler = Compiler()
        results.append(
            compiler.command_batch_nogil([VERSION, build_command(str(tmp_path / "out")), VERSION], stop)
        )
        results.append(compiler.command_batch_nogil([VERSION], stop))

    thread = threading.Thread(target=run)
    thread.start()
    try:
        assert poll_until((tmp_path / "out/btc_usdt/standin_started.txt").exists)
        stop.set()
    finally:
        go.touch()
        thread.join(60)
    [(first, error), (second, second_error)] = results
    assert first[0] == '{"version":"0.1.2","backtest_dep":"0.1.5"}'
    assert len(first) == 2 and json.loads(first[1])["built"] is True
    assert (second, error, second_error) == ([], None, None)


class Interrupted(Exception):
    pass


def test_a_handler_that_raises_during_a_batch_ends_it(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    # Only the main thread runs signal handlers: the batch runs there, and
    # waits for a project that another compile holds until the signal comes.
    install_cargo(tmp_path, monkeypatch, "record.sh")
    project = tmp_path / "out" / "btc_usdt"
    project.mkdir(parents=True)

    def interrupted(signum: int, frame: object) -> None:
        raise Interrupted

    def signal_once_waiting() -> None:
        if poll_until(lambda: waiting_for_flock(project)):
            signal.pthread_kill(threading.main_thread().ident or 0, signal.SIGUSR1)

    held = os.open(project, os.O_RDONLY | os.O_DIRECTORY)
    fcntl.flock(held, fcntl.LOCK_EX)
    signaller = threading.Thread(target=signal_once_waiting)
    previous = signal.signal(signal.SIGUSR1, interrupted)
    try:
        signaller.start()
        responses, error = Compiler().command_batch_nogil(
            [VERSION, build_command(str(tmp_path / "out")), VERSION]
        )
    finally:
        signaller.join(60)
        signal.signal(signal.SIGUSR1, previous)
        os.close(held)
    assert responses == ['{"version":"0.1.2","backtest_dep":"0.1.5"}']
    assert isinstance(error, Interrupted)
    assert not (project / "Cargo.toml").exists()
