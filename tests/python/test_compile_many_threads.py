"""compile_many's worker threads: no more than the work needs, no command
started once the caller stops, no build left behind when the caller dies.

The builds run a stand-in cargo that notes its start (with its own process
id and its parent's) in its project directory and waits there, at most half
a minute, until the test releases it.
"""

from __future__ import annotations

import contextlib
import json
import os
import signal
import subprocess
import sys
import threading
import time
from collections.abc import Callable, Iterator
from concurrent.futures import ProcessPoolExecutor
from concurrent.futures.process import BrokenProcessPool
from pathlib import Path

import pytest
from test_cli import PACKAGE_PARENT, TREND, stand_in_cargo
from test_compile_many import workers

from lantor_compile import compile_many

WAITING_CARGO = """echo $PPID $$ > started.new && mv started.new started
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

    def finished(self) -> set[int]:
        return {i for i, project in enumerate(self.projects) if (project / "finished").exists()}

    def pids(self, index: int) -> tuple[int, int]:
        """The process that started build ``index``, and the stand-in's own."""
        parent, own = (self.projects[index] / "started").read_text().split()
        return int(parent), int(own)

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
    ("count", "max_workers", "cpus", "least", "most"),
    [(2, 40, None, 1, 2), (300, 7, 1, 1, 4), (300, 1, None, 0, 0)],
    ids=["fewer-commands-than-workers", "four-per-cpu", "the-caller-runs-quick-commands-alone"],
)
def test_no_more_threads_than_commands_in_flight_nor_four_per_cpu(
    monkeypatch: pytest.MonkeyPatch, count: int, max_workers: int, cpus: int | None, least: int, most: int
) -> None:
    if cpus is not None:
        monkeypatch.setattr(os, "cpu_count", lambda: cpus)
    seen = 0
    answered = 0
    for _ in compile_many(['{"cmd":"version"}'] * count, max_workers=max_workers):
        seen = max(seen, len(workers()))
        answered += 1
    assert answered == count
    assert least <= seen <= most


def test_closing_starts_no_queued_build_and_waits_for_the_running_ones(builds: Builds) -> None:
    results = compile_many(builds.commands, max_workers=2)
    first: list[tuple[int, str]] = []
    taker = threading.Thread(target=lambda: first.append(next(results)))
    taker.start()
    builds.wait_for(lambda: builds.started() == {0, 1})
    builds.release(0)
    taker.join(60)
    assert [index for index, _ in first] == [0]
    # The thread that built 0 was handed the next build before 0 was
    # yielded; while the caller holds the iteration nothing else is handed
    # out, also when a thread is idle.
    builds.wait_for(lambda: builds.started() == {0, 1, 2})
    builds.release(1)
    builds.wait_for(lambda: builds.finished() == {0, 1})
    closer = threading.Thread(target=results.close)
    closer.start()
    builds.release(2)
    closer.join(60)
    assert not closer.is_alive()
    assert builds.finished() == {0, 1, 2}
    assert builds.started() == {0, 1, 2}
    assert workers() == []


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


@contextlib.contextmanager
def script(builds: Builds, tmp_path: Path) -> Iterator[subprocess.Popen[bytes]]:
    """A process running compile_many over the builds, once builds 0 and 1 have started.

    Quick commands come first, so that the batches have grown when the
    builds come: each build still ends its batch.
    """
    env = dict(
        os.environ, PYTHONPATH=os.pathsep.join(filter(None, [PACKAGE_PARENT, os.environ.get("PYTHONPATH")]))
    )
    (tmp_path / "commands.json").write_text(json.dumps(['{"cmd":"version"}'] * 30 + builds.commands))
    child = subprocess.Popen(
        [sys.executable, "-c", SCRIPT, str(tmp_path / "interrupted"), str(tmp_path / "commands.json")],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=env,
        start_new_session=True,  # the group is ours, as a terminal's would be
    )
    try:
        builds.wait_for(lambda: builds.started() == {0, 1})
        yield child
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(child.pid, signal.SIGKILL)
        child.wait(60)


def gone(pid: int) -> bool:
    try:
        return Path(f"/proc/{pid}/stat").read_text().split(") ")[1].startswith("Z")
    except FileNotFoundError:
        return True


@pytest.mark.parametrize("target", ["caller", "terminal"])
def test_ctrl_c_starts_no_further_build(builds: Builds, tmp_path: Path, target: str) -> None:
    with script(builds, tmp_path) as child:
        if target == "caller":
            # To the caller alone: its running builds end as they would.
            os.kill(child.pid, signal.SIGINT)
            builds.wait_for((tmp_path / "interrupted").exists)
            builds.release()
        else:
            # From a terminal, to the whole group: the builds stop too.
            os.killpg(child.pid, signal.SIGINT)
        _, stderr = child.communicate(timeout=60)
    assert child.returncode == 130, stderr.decode()
    assert b"Traceback" not in stderr
    assert builds.started() == {0, 1}
    assert builds.finished() == ({0, 1} if target == "caller" else set())


def test_builds_die_with_a_caller_killed_mid_build(builds: Builds, tmp_path: Path) -> None:
    with script(builds, tmp_path) as child:
        stand_ins = [builds.pids(0)[1], builds.pids(1)[1]]
        os.kill(child.pid, signal.SIGKILL)
        child.wait(timeout=60)
        builds.wait_for(lambda: all(gone(pid) for pid in stand_ins))


def test_a_process_of_a_kept_pool_killed_mid_build_fails_the_iteration(builds: Builds) -> None:
    caught: list[BaseException] = []
    with ProcessPoolExecutor(2) as pool:

        def consume() -> None:
            try:
                list(compile_many(builds.commands, executor=pool, max_workers=2))
            except BrokenProcessPool as error:
                caught.append(error)

        consumer = threading.Thread(target=consume)
        consumer.start()
        builds.wait_for(lambda: builds.started() == {0, 1})
        os.kill(builds.pids(0)[0], signal.SIGKILL)
        consumer.join(60)
    assert any(note.startswith("compile_many was running commands") for note in caught[0].__notes__)
    assert builds.started() == {0, 1}
