"""compile_many's worker processes: no more than the work needs, no command
started once the caller stops, none left behind when the caller dies.

The builds run a stand-in cargo that notes its start (with its worker's
process id) in its project directory and waits there, at most half a minute,
until the test releases it.
"""

from __future__ import annotations

import contextlib
import json
import multiprocessing
import os
import signal
import subprocess
import sys
import threading
import time
from collections.abc import Callable, Iterator
from concurrent.futures.process import BrokenProcessPool
from pathlib import Path

import pytest
from test_cli import PACKAGE_PARENT, TREND, stand_in_cargo

from lantor_compile import compile_many

WAITING_CARGO = """echo $PPID > started
i=0
while [ ! -e release ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i + 1)); done
touch finished"""


class Builds:
    """``count`` real builds, each in its own project directory, with the stand-in cargo."""

    def __init__(self, tmp_path: Path, count: int) -> None:
        self.bin_dir = stand_in_cargo(tmp_path / "bin", WAITING_CARGO)
        strategy = json.loads(TREND.read_text(encoding="utf-8"))
        self.projects = [tmp_path / f"out{i}" / "trend" for i in range(count)]
        self.commands = [
            json.dumps(
                {
                    "cmd": "compile",
                    "spec": {"strategy": strategy, "target": {"kind": "binary"}, "crate_name": "trend"},
                    "out_dir": str(project.parent),
                }
            )
            for project in self.projects
        ]

    def started(self) -> set[int]:
        return {i for i, project in enumerate(self.projects) if (project / "started").exists()}

    def worker(self, index: int) -> int:
        return int((self.projects[index] / "started").read_text())

    def release(self, *indices: int) -> None:
        for i in indices or range(len(self.projects)):
            self.projects[i].mkdir(parents=True, exist_ok=True)
            (self.projects[i] / "release").touch()

    def wait_for(self, what: Callable[[], bool]) -> None:
        deadline = time.monotonic() + 60
        while not what():
            assert time.monotonic() < deadline, "gave up waiting"
            time.sleep(0.02)


@pytest.fixture
def builds(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Builds]:
    made = Builds(tmp_path, 6)
    monkeypatch.setenv("PATH", f"{made.bin_dir}{os.pathsep}{os.environ['PATH']}")
    yield made
    made.release()  # whatever the test did, no stand-in is left waiting


@pytest.mark.parametrize(
    ("count", "max_workers", "cpus", "most"),
    [(2, 40, None, 2), (300, 7, 1, 4)],
    ids=["fewer-commands-than-workers", "four-per-cpu"],
)
def test_no_more_processes_than_commands_in_flight_nor_four_per_cpu(
    monkeypatch: pytest.MonkeyPatch, count: int, max_workers: int, cpus: int | None, most: int
) -> None:
    if cpus is not None:
        monkeypatch.setattr(os, "cpu_count", lambda: cpus)
    seen = 0
    for _ in compile_many(['{"cmd":"version"}'] * count, max_workers=max_workers):
        seen = max(seen, len(multiprocessing.active_children()))
    assert 1 <= seen <= most


def test_closing_starts_no_queued_build_and_waits_only_for_the_running_ones(builds: Builds) -> None:
    results = compile_many(builds.commands, max_workers=2)
    first: list[tuple[int, str]] = []
    taker = threading.Thread(target=lambda: first.append(next(results)))
    taker.start()
    builds.wait_for(lambda: builds.started() == {0, 1})
    builds.release(0)
    taker.join(60)
    assert [index for index, _ in first] == [0]
    # The worker that built 0 took the next build before 0 was yielded;
    # while the caller holds the iteration nothing else is handed out.
    builds.wait_for(lambda: 2 in builds.started())
    builds.release()
    builds.wait_for(lambda: all((builds.projects[i] / "finished").exists() for i in (1, 2)))
    results.close()
    assert builds.started() == {0, 1, 2}
    assert multiprocessing.active_children() == []


SCRIPT = """
import json, pathlib, signal, sys
from lantor_compile import compile_many

def interrupted(signum, frame):
    pathlib.Path(sys.argv[1]).touch()
    raise KeyboardInterrupt

signal.signal(signal.SIGINT, interrupted)
try:
    for index, response in compile_many(json.loads(pathlib.Path(sys.argv[2]).read_text()), max_workers=2):
        print(index, flush=True)
except KeyboardInterrupt:
    sys.exit(130)
"""


def start_script(builds: Builds, tmp_path: Path) -> subprocess.Popen[bytes]:
    env = dict(
        os.environ, PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")]))
    )
    (tmp_path / "commands.json").write_text(json.dumps(builds.commands))
    child = subprocess.Popen(
        [sys.executable, "-c", SCRIPT, str(tmp_path / "interrupted"), str(tmp_path / "commands.json")],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=env,
        start_new_session=True,  # the group is ours to clean up
    )
    builds.wait_for(lambda: builds.started() == {0, 1})
    return child


def gone(pid: int) -> bool:
    try:
        return Path(f"/proc/{pid}/stat").read_text().split(") ")[1].startswith("Z")
    except FileNotFoundError:
        return True


@pytest.mark.parametrize("target", ["caller", "worker"])
def test_ctrl_c_to_one_process_starts_no_further_build(builds: Builds, tmp_path: Path, target: str) -> None:
    child = start_script(builds, tmp_path)
    try:
        if target == "caller":
            os.kill(child.pid, signal.SIGINT)
            builds.wait_for((tmp_path / "interrupted").exists)
        else:
            # The worker notes the signal when its build returns.
            os.kill(builds.worker(0), signal.SIGINT)
            builds.release(0)
            builds.wait_for((builds.projects[0] / "finished").exists)
        builds.release()
        _, stderr = child.communicate(timeout=60)
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(child.pid, signal.SIGKILL)
    assert child.returncode == 130, stderr.decode()
    assert b"Traceback" not in stderr
    assert builds.started() == {0, 1}


def test_workers_die_with_a_caller_killed_mid_build(builds: Builds, tmp_path: Path) -> None:
    child = start_script(builds, tmp_path)
    try:
        workers = [builds.worker(0), builds.worker(1)]
        os.kill(child.pid, signal.SIGKILL)
        child.wait(timeout=60)
        builds.wait_for(lambda: all(gone(pid) for pid in workers))
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(child.pid, signal.SIGKILL)


def test_a_worker_killed_mid_build_fails_the_iteration_and_starts_nothing_more(builds: Builds) -> None:
    caught: list[BaseException] = []

    def consume() -> None:
        try:
            list(compile_many(builds.commands, max_workers=2))
        except BrokenProcessPool as error:
            caught.append(error)

    consumer = threading.Thread(target=consume)
    consumer.start()
    builds.wait_for(lambda: builds.started() == {0, 1})
    os.kill(builds.worker(0), signal.SIGKILL)
    builds.release(1)  # the other worker's build, which the iteration waits for
    consumer.join(60)
    assert "compile_many was running commands 0 to 0" in caught[0].__notes__
    assert builds.started() == {0, 1}
    assert multiprocessing.active_children() == []
