"""Non-dry compiles: the project is written, cargo runs in it, and the response
reports where the artifact is.

Each test puts a stand-in ``cargo`` (a shell script from
tests/data/standin_cargo) first on PATH; test_real_builds.py runs the real one.
"""

from __future__ import annotations

import hashlib
import json
import os
import shutil
import stat
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import pytest
from support import MINIMAL_STRATEGY

DATA = Path(__file__).resolve().parent.parent / "data"
STANDIN = DATA / "standin_cargo"

STRATEGY: dict[str, Any] = MINIMAL_STRATEGY


def compile_cmd(target: dict[str, Any], out_dir: str | None, dry_run: bool = False, **extra: Any) -> str:
    spec = {"strategy": STRATEGY, "target": target, **extra}
    cmd: dict[str, Any] = {"cmd": "compile", "spec": spec}
    if out_dir is not None:
        cmd["out_dir"] = out_dir
    if dry_run:
        cmd["dry_run"] = True
    return json.dumps(cmd)


@pytest.fixture
def standin_cargo(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[None]:
    """The recording stand-in installed as ``cargo`` first on PATH."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    exe = bin_dir / "cargo"
    shutil.copyfile(STANDIN / "record.sh", exe)
    exe.chmod(exe.stat().st_mode | stat.S_IXUSR)
    monkeypatch.setenv("PATH", f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    yield


@pytest.mark.parametrize(
    ("target", "opt_level", "relative_path", "args"),
    [
        ({"kind": "binary"}, "debug", "target/debug/btc_usdt", ["build"]),
        ({"kind": "binary"}, "size", "target/release/btc_usdt", ["build", "--release"]),
        (
            {"kind": "wasm"},
            "release",
            "pkg/btc_usdt_bg.wasm",
            ["build", "--target", "wasm32-unknown-unknown", "--release"],
        ),
        (
            {"kind": "no_std", "mcu": "thumbv7em-none-eabihf"},
            "debug",
            "target/thumbv7em-none-eabihf/debug/libbtc_usdt.a",
            ["build", "--target", "thumbv7em-none-eabihf"],
        ),
    ],
    ids=["binary-debug", "binary-size", "wasm-release", "no_std-debug"],
)
def test_response_members_and_path_per_target(
    compiler: Any,
    standin_cargo: None,
    tmp_path: Path,
    target: dict[str, Any],
    opt_level: str,
    relative_path: str,
    args: list[str],
) -> None:
    out = str(tmp_path / "out")
    text = compiler.command(compile_cmd(target, out, opt_level=opt_level))
    response = json.loads(text)
    assert list(response) == ["target", "path", "manifest", "built"], text
    assert response["target"] == target
    assert response["path"] == f"{out}/btc_usdt/{relative_path}"
    assert response["built"] is True
    # The manifest is the dry run's, byte for byte.
    dry = json.loads(compiler.command(compile_cmd(target, out, dry_run=True, opt_level=opt_level)))
    assert response["manifest"] == dry["manifest"]
    project = tmp_path / "out" / "btc_usdt"
    assert (project / "standin_args.txt").read_text().split("\n")[:-1] == args
    for entry in response["manifest"]["files"]:
        data = (project / entry["path"]).read_bytes()
        assert len(data) == entry["bytes_len"]
        assert hashlib.sha256(data).hexdigest() == entry["sha256"]


def test_default_and_empty_out_dir_are_relative_to_the_working_directory(
    compiler: Any, standin_cargo: None, tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.chdir(tmp_path)
    default = json.loads(compiler.command(compile_cmd({"kind": "binary"}, None)))
    assert default["path"] == "_out/btc_usdt/target/release/btc_usdt"
    assert (tmp_path / "_out/btc_usdt/Cargo.toml").is_file()
    empty = json.loads(compiler.command(compile_cmd({"kind": "wasm"}, "")))
    assert empty["path"] == "btc_usdt/pkg/btc_usdt_bg.wasm"
    assert (tmp_path / "btc_usdt/.cargo/config.toml").is_file()


def test_binary_after_wasm_builds_without_the_wasm_files(
    compiler: Any, standin_cargo: None, tmp_path: Path
) -> None:
    out = str(tmp_path)
    project = tmp_path / "btc_usdt"
    assert json.loads(compiler.command(compile_cmd({"kind": "wasm"}, out)))["built"] is True
    assert (project / "standin_config_exists.txt").read_text() == "yes\n"
    response = json.loads(compiler.command(compile_cmd({"kind": "binary"}, out)))
    assert response["built"] is True
    assert (project / "standin_config_exists.txt").read_text() == "no\n"
    assert not (project / "src/lib.rs").exists()


def test_write_failure_is_reported_before_any_build(
    compiler: Any, standin_cargo: None, tmp_path: Path
) -> None:
    blocker = tmp_path / "file"
    blocker.write_text("")
    response = json.loads(compiler.command(compile_cmd({"kind": "binary"}, str(blocker))))
    assert response == {
        "ok": False,
        "error": f"io: creating {blocker}/btc_usdt: Not a directory (os error 20)",
    }


def test_missing_cargo_still_writes_the_project(
    compiler: Any, tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    empty_bin = tmp_path / "bin"
    empty_bin.mkdir()
    monkeypatch.setenv("PATH", str(empty_bin))
    response = json.loads(compiler.command(compile_cmd({"kind": "binary"}, str(tmp_path / "out"))))
    assert response == {
        "ok": False,
        "error": "build: spawning cargo: No such file or directory (os error 2)",
    }
    assert (tmp_path / "out/btc_usdt/src/main.rs").is_file()


@pytest.mark.parametrize("crate_name_after_dataset", [False, True])
def test_written_inline_dataset_is_the_canonical_text_the_dry_run_hashed(
    compiler: Any, tmp_path: Path, standin_cargo: None, crate_name_after_dataset: bool
) -> None:
    # A dry run hashes an inline dataset while reading it and keeps no text;
    # a build must write exactly the text those digests were of.
    candles = ",".join('{"v":%d.50,"t":%d,"c":1E1}' % (i, 1700000000000 + i) for i in range(30000))
    data = '"embed_data":{"kind":"inline","candles":[' + candles + "]}"
    strategy = json.dumps(STRATEGY)
    if crate_name_after_dataset:
        spec = '{"strategy":' + strategy + ',"target":{"kind":"binary"},' + data + ',"crate_name":"mine"}'
    else:
        spec = '{"crate_name":"mine","strategy":' + strategy + ',"target":{"kind":"binary"},' + data + "}"
    out_dir = json.dumps(str(tmp_path / "out"))
    dry = json.loads(compiler.command('{"cmd":"compile","spec":' + spec + ',"dry_run":true}'))
    built = json.loads(compiler.command('{"cmd":"compile","spec":' + spec + ',"out_dir":' + out_dir + "}"))
    assert built["manifest"] == dry["manifest"]
    listed = {f["path"]: f for f in dry["manifest"]["files"]}["src/candles.json"]
    written = (tmp_path / "out/mine/src/candles.json").read_bytes()
    assert written.startswith(b'[{"c":10.0,"t":1700000000000,"v":0.5},')
    assert len(written) == listed["bytes_len"]
    assert hashlib.sha256(written).hexdigest() == listed["sha256"]
