"""Many instances on many threads at once, each used only from its own thread,
with calls from foreign threads in between. Handles are numbered per
instance, a foreign call raises the panic exception without touching the
instance, and the whole workload also runs under ``python -X dev``.
"""

from __future__ import annotations

import hashlib
import json
import os
import queue
import subprocess
import sys
import textwrap
import threading
from pathlib import Path

import pytest

from lantor_compile import Compiler, PanicException

THREADS = 12
ROUNDS = 40
SENT = "_lantor_compile::PyCompiler is unsendable, but sent to another thread"

WORKLOAD = textwrap.dedent(
    """
    import hashlib, json, os, queue, sys, threading
    from lantor_compile import Compiler, PanicException

    SENT = "_lantor_compile::PyCompiler is unsendable, but sent to another thread"

    def run(data_dir, threads, rounds):
        # One file per thread, with contents of its own.
        files = []
        for t in range(threads):
            path = os.path.join(data_dir, f"f{t}.bin")
            with open(path, "wb") as f:
                f.write(bytes([t]) * (1000 + 37 * t))
            files.append(path)

        barrier = threading.Barrier(threads + 1)
        handoff = queue.Queue()
        proceed = [threading.Event() for _ in range(threads)]
        failures = []

        def worker(t):
            try:
                compiler = Compiler()
                path = files[t]
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                cmd = json.dumps({"cmd": "artifact_bytes", "path": path})
                expected_len = 1000 + 37 * t
                barrier.wait()
                for r in range(rounds):
                    resp = json.loads(compiler.command(cmd))
                    want = {"handle": r % 10, "len": expected_len, "sha256": digest}
                    if resp != want:
                        failures.append((t, r, resp, want))
                        return
                    # A failed read in between consumes no handle.
                    bad = json.loads(compiler.command('{"cmd":"artifact_bytes","path":"/nonexistent/x"}'))
                    if bad.get("ok") is not False:
                        failures.append((t, r, "missing file", bad))
                        return
                    if r % 10 == 9:
                        if compiler.command('{"cmd":"reset"}') != '{"ok":true}':
                            failures.append((t, r, "reset"))
                            return
                    if r == rounds // 2:
                        # Lend the instance to the main thread, which must be
                        # refused, then go on from where numbering stood.
                        handoff.put((t, compiler))
                        proceed[t].wait()
            except BaseException as exc:
                failures.append((t, "raised", repr(exc)))

        workers = [threading.Thread(target=worker, args=(t,)) for t in range(threads)]
        for w in workers:
            w.start()
        barrier.wait()
        refused = 0
        for _ in range(threads):
            t, compiler = handoff.get(timeout=120)
            for text in ('{"cmd":"version"}', '{"cmd":"reset"}',
                         json.dumps({"cmd": "artifact_bytes", "path": files[t]})):
                try:
                    compiler.command(text)
                except PanicException as exc:
                    if SENT in str(exc) and not isinstance(exc, Exception):
                        refused += 1
                except BaseException as exc:
                    failures.append((t, "foreign call raised", repr(exc)))
            del compiler
            proceed[t].set()
        for w in workers:
            w.join(timeout=300)
        if failures:
            raise AssertionError(failures[:5])
        assert refused == 3 * threads, refused
        return threads * rounds

    if __name__ == "__main__":
        done = run(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]))
        print("OK", done)
    """
)


@pytest.fixture(scope="module")
def workload(tmp_path_factory: pytest.TempPathFactory) -> Path:
    path = tmp_path_factory.mktemp("threads") / "workload.py"
    path.write_text(WORKLOAD)
    return path


def load(workload: Path) -> dict[str, object]:
    namespace: dict[str, object] = {"__name__": "workload"}
    exec(compile(workload.read_text(), str(workload), "exec"), namespace)
    return namespace


def test_instances_on_many_threads(workload: Path, tmp_path: Path) -> None:
    run = load(workload)["run"]
    assert run(str(tmp_path), THREADS, ROUNDS) == THREADS * ROUNDS  # type: ignore[operator]


def test_many_threads_under_dev_mode(workload: Path, tmp_path: Path) -> None:
    result = subprocess.run(
        [sys.executable, "-X", "dev", "-W", "error", str(workload), str(tmp_path), str(THREADS), str(ROUNDS)],
        capture_output=True,
        text=True,
        timeout=600,
        env=dict(os.environ),
    )
    assert result.returncode == 0, result.stderr[-3000:]
    assert result.stdout.strip() == f"OK {THREADS * ROUNDS}"
    assert result.stderr == ""


def test_foreign_call_leaves_the_instance_untouched(tmp_path: Path) -> None:
    data = tmp_path / "a.bin"
    data.write_bytes(b"abc")
    cmd = json.dumps({"cmd": "artifact_bytes", "path": str(data)})
    compiler = Compiler()
    assert json.loads(compiler.command(cmd))["handle"] == 0

    caught: list[BaseException] = []

    def foreign() -> None:
        try:
            compiler.command(cmd)
        except BaseException as exc:  # the panic exception is not an Exception
            caught.append(exc)

    thread = threading.Thread(target=foreign)
    thread.start()
    thread.join()
    assert len(caught) == 1 and isinstance(caught[0], PanicException)
    assert not isinstance(caught[0], Exception) and SENT in str(caught[0])
    # The foreign call consumed no handle.
    assert compiler.command(cmd) == (
        '{"handle":1,"len":3,"sha256":"' + hashlib.sha256(b"abc").hexdigest() + '"}'
    )


def test_instance_dropped_on_another_thread_reports_unraisable() -> None:
    results: queue.Queue[Compiler] = queue.Queue()
    owner = threading.Thread(target=lambda: results.put(Compiler()))
    owner.start()
    owner.join()
    compiler = results.get()
    seen: list[BaseException | None] = []
    old_hook = sys.unraisablehook
    sys.unraisablehook = lambda info: seen.append(info.exc_value)
    try:
        del compiler
    finally:
        sys.unraisablehook = old_hook
    assert len(seen) == 1 and isinstance(seen[0], RuntimeError)
    assert str(seen[0]) == "_lantor_compile::PyCompiler is unsendable, but is being dropped on another thread"
