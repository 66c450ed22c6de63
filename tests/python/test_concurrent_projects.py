"""Soak: several processes compile different strategies into one project
directory at once, round after round, with a stand-in cargo that records the
digests of the files each build starts from.

After every round each response says built, the project on disk is exactly
what one of the compiles wrote (every file of one manifest, whole), and every
build saw the files of one compile. Rounds and processes are bounded, every
wait has a time bound, and nothing is timed.
"""

from __future__ import annotations

import hashlib
import json
import os
import shutil
import stat
import subprocess
import sys
import textwrap
from pathlib import Path
from typing import Any

import pytest
from support import MINIMAL_STRATEGY

from lantor_compile import Compiler

STANDIN = Path(__file__).resolve().parent.parent / "data" / "standin_cargo"
OPT_LEVELS = ["debug", "release", "size"]

# Reads its command from the first line of standard input, then compiles it
# once for every further line, printing each response. The alarm bounds a
# worker that would otherwise wait for ever.
WORKER = textwrap.dedent(
    """
    import signal, sys
    from lantor_compile import Compiler
    signal.alarm(300)
    compiler = Compiler()
    command = sys.stdin.readline()
    for _ in sys.stdin:
        print(compiler.command(command), flush=True)
    """
)


def command(worker: int, out_dir: Path) -> str:
    # A large member makes each spec.json long, so that compiles that did not
    # take turns would overlap in every round.
    strategy: dict[str, Any] = {**MINIMAL_STRATEGY, "note": f"worker {worker} " + "x" * 200_000}
    spec = {
        "strategy": strategy,
        "target": {"kind": "binary"},
        "crate_name": "soak",
        "opt_level": OPT_LEVELS[worker % len(OPT_LEVELS)],
    }
    return json.dumps({"cmd": "compile", "spec": spec, "out_dir": str(out_dir)})


def digests(manifest: dict[str, Any]) -> dict[str, str]:
    return {f["path"]: f["sha256"] for f in manifest["files"]}


def on_disk(project: Path, paths: list[str]) -> dict[str, str]:
    return {p: hashlib.sha256((project / p).read_bytes()).hexdigest() for p in paths}


@pytest.mark.parametrize(("processes", "rounds"), [(2, 30), (4, 15)])
def test_compiles_into_one_project_take_turns(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch, processes: int, rounds: int
) -> None:
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    shutil.copyfile(STANDIN / "record_digests.sh", bin_dir / "cargo")
    (bin_dir / "cargo").chmod(stat.S_IRWXU)
    env = dict(os.environ, PATH=f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    out_dir = tmp_path / "out"
    project = out_dir / "soak"
    commands = [command(w, out_dir) for w in range(processes)]
    dry = Compiler()
    manifests = [digests(json.loads(dry.command(c[:-1] + ',"dry_run":true}'))["manifest"]) for c in commands]
    assert len({json.dumps(m, sort_keys=True) for m in manifests}) == processes
    paths = sorted(manifests[0])

    workers = [
        subprocess.Popen(
            [sys.executable, "-c", WORKER], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env
        )
        for _ in range(processes)
    ]
    try:
        for worker, text in zip(workers, commands, strict=True):
            assert worker.stdin is not None
            worker.stdin.write(text + "\n")
            worker.stdin.flush()
        for r in range(rounds):
            for worker in workers:
                assert worker.stdin is not None
                worker.stdin.write("go\n")
                worker.stdin.flush()
            for worker in workers:
                assert worker.stdout is not None
                response = json.loads(worker.stdout.readline())
                assert response.get("built") is True, (r, response)
            assert on_disk(project, paths) in manifests, f"round {r}: the project matches no compile"
    finally:
        for worker in workers:
            if worker.stdin is not None:
                worker.stdin.close()
        for worker in workers:
            try:
                worker.wait(timeout=60)
            finally:
                worker.kill()

    pairs = {(m["Cargo.toml"], m["src/spec.json"]) for m in manifests}
    builds = (project / "standin_builds.txt").read_text().splitlines()
    assert len(builds) == processes * rounds
    for line in builds:
        fields = line.split()
        assert (fields[0], fields[2]) in pairs, "a build started from files of two compiles"
