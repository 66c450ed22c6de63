"""Real builds of every target with the real cargo: a strategy from the
examples goes through ``Compiler.command``, and the artifact that the response
reports is checked for being what it claims to be.

- ``wasm``: Node loads the package and reads the symbol and the spec back;
- ``no_std``: the archive defines the two C functions and holds the spec's
  text, and a firmware linked with the ``thumbv7m-none-eabi`` archive prints
  the spec under QEMU;
- ``binary``: the executable prints the spec;
- every target: ``artifact_bytes`` on the reported path answers the file's
  length and SHA-256, and each profile lands where the response says.

Toolchain: where the ``rustc`` on PATH has a target's standard library
(``rustup target add``), cargo runs in the environment as it is. Otherwise the
tests take Debian's route: with the packages rustc-web, cargo-web,
rust-web-src and lld-22, /usr/bin first on PATH, RUSTC_BOOTSTRAP=1 and
CARGO_UNSTABLE_BUILD_STD, cargo builds the target's standard library from its
sources. A test that finds no way to build skips, and fails under CI=true.

One project is built per target kind and MCU architecture; with
LANTOR_SLOW_BUILDS=1 every other allow-listed triple is built too.
"""

from __future__ import annotations

import hashlib
import json
import os
import shutil
import subprocess
from pathlib import Path
from typing import Any, NoReturn

import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
DATA = ROOT / "tests" / "data"
FIRMWARE = DATA / "firmware"
DEBIAN_LIBRARY_SOURCES = Path("/usr/lib/rustlib/src/rust/library")
SLOW = os.environ.get("LANTOR_SLOW_BUILDS") == "1"

# Each builds with the real cargo, for minutes: `pytest -m "not slow"` leaves them out.
pytestmark = pytest.mark.slow


def missing(what: str) -> NoReturn:
    """Skip for want of a tool, except in CI, where every build has to run."""
    if os.environ.get("CI") == "true":
        pytest.fail(f"CI has no {what}", pytrace=False)
    pytest.skip(f"no {what}")


def program(name: str) -> str:
    found = shutil.which(name)
    if found is None:
        missing(f"{name} on PATH")
    return found


def llvm_tool(name: str) -> str:
    """An LLVM tool, the newest versioned one first (Debian names them so)."""
    for candidate in [*(f"{name}-{v}" for v in range(30, 13, -1)), name]:
        found = shutil.which(candidate)
        if found is not None:
            return found
    missing(name)


def rustc_has_target(triple: str) -> bool:
    rustc = shutil.which("rustc")
    if rustc is None:
        return False
    sysroot = subprocess.run([rustc, "--print", "sysroot"], capture_output=True, text=True).stdout.strip()
    return bool(sysroot) and (Path(sysroot) / "lib" / "rustlib" / triple / "lib").is_dir()


def use_toolchain(monkeypatch: pytest.MonkeyPatch, triple: str, build_std: str) -> None:
    """Let cargo build for ``triple``: as installed, or by Debian's route."""
    if rustc_has_target(triple):
        return
    if not (
        Path("/usr/bin/cargo").is_file()
        and Path("/usr/bin/rust-lld").exists()
        and DEBIAN_LIBRARY_SOURCES.is_dir()
    ):
        missing(
            f"Rust toolchain for {triple} (rustup target add {triple}, or Debian's "
            "rustc-web, cargo-web, rust-web-src and lld-22)"
        )
    monkeypatch.setenv("PATH", os.pathsep.join(["/usr/bin", os.environ.get("PATH", "")]))
    monkeypatch.setenv("RUSTC_BOOTSTRAP", "1")
    monkeypatch.setenv("CARGO_UNSTABLE_BUILD_STD", build_std)


@pytest.fixture(scope="session")
def build_root(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """A directory whose .cargo/config.toml takes lantor-backtest from the
    local stand-in crate, for every project built below it."""
    root = tmp_path_factory.mktemp("real_builds")
    (root / ".cargo").mkdir()
    (root / ".cargo" / "config.toml").write_text(
        f'[patch.crates-io]\nlantor-backtest = {{ path = "{DATA / "lantor-backtest"}" }}\n'
    )
    return root


def compile_command(example: str, target: dict[str, str], opt_level: str, out_dir: Path) -> str:
    """The compile command with the example's text spliced in as written."""
    strategy = (EXAMPLES / example).read_text(encoding="utf-8")
    return (
        '{"cmd":"compile","spec":{"strategy":'
        + strategy
        + ',"target":'
        + json.dumps(target)
        + ',"opt_level":'
        + json.dumps(opt_level)
        + '},"out_dir":'
        + json.dumps(str(out_dir))
        + "}"
    )


def build(compiler: Any, example: str, target: dict[str, str], opt_level: str, out_dir: Path) -> Path:
    """Build for real; returns the reported artifact path, checked to exist."""
    text = compiler.command(compile_command(example, target, opt_level, out_dir))
    response = json.loads(text)
    assert response.get("built") is True, text
    artifact = Path(response["path"])
    assert artifact.is_file(), text
    return artifact


def read_back(compiler: Any, artifact: Path) -> bytes:
    """The artifact's bytes, checked against what ``artifact_bytes`` answers."""
    data = artifact.read_bytes()
    read = json.loads(compiler.command(json.dumps({"cmd": "artifact_bytes", "path": str(artifact)})))
    assert (read["len"], read["sha256"]) == (len(data), hashlib.sha256(data).hexdigest())
    return data


def lock_wasm_bindgen(
    compiler: Any, bindgen: str, command: str, project: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    """Lock the project's wasm-bindgen crate to the installed program's
    version, which it has to match; the manifest asks only for 0.2, which a
    newer release would satisfy. The project is first written by a compile
    whose cargo does nothing."""
    version = subprocess.run(
        [bindgen, "--version"], capture_output=True, text=True, check=True
    ).stdout.split()[-1]
    no_build = project.parent / "no_build"
    no_build.mkdir(parents=True)
    (no_build / "cargo").write_text("#!/bin/sh\nexit 0\n")
    (no_build / "cargo").chmod(0o755)
    with monkeypatch.context() as patch:
        patch.setenv("PATH", os.pathsep.join([str(no_build), os.environ["PATH"]]))
        assert json.loads(compiler.command(command)).get("built") is True
    subprocess.run(
        ["cargo", "update", "--quiet", "--package", "wasm-bindgen", "--precise", version],
        cwd=project,
        check=True,
    )


def test_wasm_package_loads_in_node_and_answers_the_spec(
    compiler: Any, build_root: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    bindgen = program("wasm-bindgen")
    node = program("node")
    use_toolchain(monkeypatch, "wasm32-unknown-unknown", "std,panic_abort")
    out = build_root / "wasm"
    project = out / "eth_usdt"
    command = compile_command("mean_reversion_rsi.json", {"kind": "wasm"}, "release", out)
    lock_wasm_bindgen(compiler, bindgen, command, project, monkeypatch)

    package = build(compiler, "mean_reversion_rsi.json", {"kind": "wasm"}, "release", out)
    assert package == project / "pkg" / "eth_usdt_bg.wasm"
    assert package.read_bytes().startswith(b"\0asm")
    run = subprocess.run(
        [node, DATA / "wasm_package" / "load.mjs", project / "pkg" / "eth_usdt.js", package],
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert run.returncode == 0, run.stderr
    assert json.loads(run.stdout) == ["ETH-USDT", (project / "src" / "spec.json").read_text(encoding="utf-8")]
    read_back(compiler, package)


def check_archive(archive: Path, spec: bytes) -> None:
    """The archive defines the two C functions and holds the spec's text."""
    listing = subprocess.run(
        [llvm_tool("llvm-nm"), "--defined-only", "--extern-only", archive],
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    kinds = {fields[2]: fields[1] for fields in map(str.split, listing.splitlines()) if len(fields) == 3}
    assert (kinds.get("strategy_spec_len"), kinds.get("strategy_spec_ptr")) == ("T", "T"), listing
    assert spec in archive.read_bytes()


# (triple, opt_level, example): two architectures and every profile kind by
# default; each other triple in the slow run.
NO_STD_BUILDS = [
    ("thumbv7em-none-eabihf", "debug", "volatility_breakout_atr.json"),
    ("riscv32imac-unknown-none-elf", "size", "trend_ema_cross.json"),
]
if SLOW:
    NO_STD_BUILDS += [
        ("thumbv6m-none-eabi", "release", "spread_pair.json"),
        ("thumbv7em-none-eabi", "size", "trend_ema_cross.json"),
        ("thumbv8m.main-none-eabi", "debug", "mean_reversion_rsi.json"),
        ("thumbv8m.main-none-eabihf", "release", "long_short_momentum.json"),
    ]

CRATES = {
    "volatility_breakout_atr.json": "sol_usdt",
    "trend_ema_cross.json": "btc_usdt",
    "spread_pair.json": "eth_usdt",
    "mean_reversion_rsi.json": "eth_usdt",
    "long_short_momentum.json": "eth_usd",
}


@pytest.mark.parametrize(
    ("triple", "opt_level", "example"), NO_STD_BUILDS, ids=[f"{t}-{o}" for t, o, _ in NO_STD_BUILDS]
)
def test_no_std_archive_exports_the_spec(
    compiler: Any,
    build_root: Path,
    monkeypatch: pytest.MonkeyPatch,
    triple: str,
    opt_level: str,
    example: str,
) -> None:
    use_toolchain(monkeypatch, triple, "core")
    out = build_root / triple
    crate = CRATES[example]
    archive = build(compiler, example, {"kind": "no_std", "mcu": triple}, opt_level, out)
    profile = "debug" if opt_level == "debug" else "release"
    assert archive == out / crate / "target" / triple / profile / f"lib{crate}.a"
    read_back(compiler, archive)
    check_archive(archive, (out / crate / "src" / "spec.json").read_bytes())


def test_firmware_reads_the_spec_through_the_c_functions_under_qemu(
    compiler: Any, build_root: Path, monkeypatch: pytest.MonkeyPatch, tmp_path: Path
) -> None:
    qemu = program("qemu-system-arm")
    clang = program("clang")
    linker = llvm_tool("ld.lld")
    use_toolchain(monkeypatch, "thumbv7m-none-eabi", "core")
    out = build_root / "thumbv7m-none-eabi"
    archive = build(
        compiler, "long_short_momentum.json", {"kind": "no_std", "mcu": "thumbv7m-none-eabi"}, "release", out
    )
    assert archive == out / "eth_usd" / "target" / "thumbv7m-none-eabi" / "release" / "libeth_usd.a"
    spec = (out / "eth_usd" / "src" / "spec.json").read_bytes()
    read_back(compiler, archive)
    check_archive(archive, spec)

    # The firmware's C source and the board's memory map, linked with nothing
    # but the archive.
    subprocess.run(
        [
            clang,
            "--target=thumbv7m-none-eabi",
            "-mcpu=cortex-m3",
            "-ffreestanding",
            "-nostdlib",
            "-O2",
            "-c",
            FIRMWARE / "spec_dump.c",
            "-o",
            tmp_path / "spec_dump.o",
        ],
        check=True,
    )
    subprocess.run(
        [
            linker,
            "-T",
            FIRMWARE / "cortex_m3.ld",
            "--gc-sections",
            tmp_path / "spec_dump.o",
            archive,
            "-o",
            tmp_path / "firmware.elf",
        ],
        check=True,
    )
    printed = tmp_path / "semihosting.out"
    run = subprocess.run(
        [
            qemu,
            "-machine",
            "lm3s6965evb",
            "-display",
            "none",
            "-monitor",
            "none",
            "-serial",
            "none",
            "-chardev",
            f"file,id=spec,path={printed}",
            "-semihosting-config",
            "enable=on,target=native,chardev=spec",
            "-kernel",
            tmp_path / "firmware.elf",
        ],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert run.returncode == 0, run.stderr
    assert printed.read_bytes() == spec + b"\n"


@pytest.mark.parametrize("opt_level", ["debug", "release"])
def test_binary_prints_its_spec(compiler: Any, build_root: Path, opt_level: str) -> None:
    program("cargo")
    # Both profiles in one project directory, each where its response says.
    out = build_root / "binary"
    artifact = build(compiler, "trend_ema_cross.json", {"kind": "binary"}, opt_level, out)
    assert artifact == out / "btc_usdt" / "target" / opt_level / "btc_usdt"
    run = subprocess.run([artifact], capture_output=True, check=True, timeout=60)
    spec = (out / "btc_usdt" / "src" / "spec.json").read_bytes()
    assert run.stdout == b"lantor strategy for BTC-USDT\n" + spec + b"\n"
    read_back(compiler, artifact)
