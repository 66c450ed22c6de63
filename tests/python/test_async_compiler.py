"""Commands without the interpreter lock: ``Compiler.command_nogil`` answers
as ``command`` does, and ``AsyncCompiler`` keeps an event loop serving while a
build runs.

The builds here use a stand-in cargo that waits until the test says go, and
says go only from code that can run while the build does (a coroutine on the
same event loop); a loop that stood still would leave the build waiting until
the stand-in gives up, and the test failing. Nothing is timed.
"""

from __future__ import annotations

import asyncio
import json
import os
import shutil
import stat
from pathlib import Path
from typing import Any

import pytest
from support import MINIMAL_STRATEGY

from lantor_compile import AsyncCompiler, Compiler, command_async

STANDIN = Path(__file__).resolve().parent.parent / "data" / "standin_cargo"


@pytest.fixture
def slow_cargo(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    """A cargo that builds until the file it returns appears."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    shutil.copyfile(STANDIN / "wait_for_go.sh", bin_dir / "cargo")
    (bin_dir / "cargo").chmod(stat.S_IRWXU)
    monkeypatch.setenv("PATH", f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    go = tmp_path / "go"
    monkeypatch.setenv("STANDIN_GO", str(go))
    return go


def build_command(out_dir: Path) -> str:
    spec = {"strategy": MINIMAL_STRATEGY, "target": {"kind": "binary"}}
    return json.dumps({"cmd": "compile", "spec": spec, "out_dir": str(out_dir)})


def test_the_event_loop_keeps_serving_while_a_build_runs(slow_cargo: Path, tmp_path: Path) -> None:
    started = tmp_path / "out" / "btc_usdt" / "standin_started.txt"

    async def main() -> tuple[dict[str, Any], int]:
        async with AsyncCompiler() as compiler:
            build = asyncio.create_task(compiler.command(build_command(tmp_path / "out")))
            ticks = 0
            while not started.exists() and not build.done():
                await asyncio.sleep(0.01)
                ticks += 1
            slow_cargo.touch()  # only this loop, running beside the build, says go
            return json.loads(await build), ticks

    response, ticks = asyncio.run(main())
    assert response["built"] is True, response
    assert ticks > 0


def test_a_cancelled_await_stops_waiting_and_aclose_waits_for_the_build(
    slow_cargo: Path, tmp_path: Path
) -> None:
    project = tmp_path / "out" / "btc_usdt"

    async def main() -> None:
        compiler = AsyncCompiler()
        build = asyncio.create_task(compiler.command(build_command(tmp_path / "out")))
        queued = asyncio.create_task(compiler.command('{"cmd":"version"}'))
        while not (project / "standin_started.txt").exists() and not build.done():
            await asyncio.sleep(0.01)
        build.cancel()
        queued.cancel()
        for task in (build, queued):
            with pytest.raises(asyncio.CancelledError):
                await task
        assert not (project / "standin_done.txt").exists()  # the build goes on
        slow_cargo.touch()
        await compiler.aclose()
        assert (project / "standin_done.txt").exists()
        with pytest.raises(RuntimeError, match="AsyncCompiler is closed"):
            await compiler.command('{"cmd":"version"}')

    asyncio.run(main())


def test_responses_are_those_of_command(tmp_path: Path) -> None:
    data = tmp_path / "a.bin"
    data.write_bytes(b"abc")
    dry = {
        "cmd": "compile",
        "dry_run": True,
        "spec": {"strategy": MINIMAL_STRATEGY, "target": {"kind": "wasm"}},
    }
    commands = [
        '{"cmd":"version"}',
        "not json",
        '{"cmd":"nope"}',
        json.dumps(dry),
        json.dumps({"cmd": "artifact_bytes", "path": str(data)}),
        '{"cmd":"artifact_bytes","path":"/nonexistent"}',
        json.dumps({"cmd": "artifact_bytes", "path": str(data)}),
        '{"cmd":"reset"}',
        json.dumps({"cmd": "artifact_bytes", "path": str(data)}),
    ]
    plain, unlocked = Compiler(), Compiler()
    expected = [plain.command(c) for c in commands]
    assert [unlocked.command_nogil(c) for c in commands] == expected

    async def main() -> list[str]:
        async with AsyncCompiler() as compiler:
            answers = [await compiler.command(c) for c in commands]
        return answers + [await command_async(commands[0])]

    assert asyncio.run(main()) == expected + [expected[0]]


@pytest.mark.parametrize(
    ("args", "kwargs", "error", "message"),
    [
        ((), {}, TypeError, "Compiler.command_nogil() missing 1 required positional argument: 'cmd_json'"),
        (("a", "b"), {}, TypeError, "Compiler.command_nogil() takes 1 positional argument but 2 were given"),
        ((), {"text": "a"}, TypeError, "Compiler.command_nogil() got an unexpected keyword argument 'text'"),
        ((b"{}",), {}, TypeError, "'bytes' object is not an instance of 'str'"),
        (("\ud800",), {}, UnicodeEncodeError, "surrogates not allowed"),
    ],
)
def test_argument_errors_name_the_method(
    args: tuple[Any, ...], kwargs: dict[str, Any], error: type[Exception], message: str
) -> None:
    with pytest.raises(error) as raised:
        Compiler().command_nogil(*args, **kwargs)
    assert message in str(raised.value)
