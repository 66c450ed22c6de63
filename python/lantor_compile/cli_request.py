"""The ``compile`` command that ``lantor-compile`` builds from its arguments,
where each strategy file's project goes, and what it says about a build.
"""

from __future__ import annotations

import argparse
import json
import os
import re
import shutil
import tomllib
from pathlib import Path
from typing import Any

from .cli_common import DEFAULT_OUT_DIR, REQUEST, UsageError, json_string
from .parallel import worker_count

# What a compile command holds before the strategy file's text, and the
# strategy's JSON Pointer in it: {"cmd":"compile","spec":{"strategy":...
_STRATEGY_PATH: list[str] = REQUEST["strategy_path"]
STRATEGY_PREFIX = '{"cmd":"compile",' + "{".join(f"{json.dumps(name)}:" for name in _STRATEGY_PATH)
STRATEGY_POINTER = "".join(f"/{name}" for name in _STRATEGY_PATH)


def compile_command(args: argparse.Namespace, strategy: str, candles: str | None) -> str:
    """Assemble the ``compile`` command text, leaving out options not given.

    The strategy (and candles) file's text is spliced in unchanged rather than
    parsed and re-serialised: number spellings such as ``-0`` or ``1e400``,
    repeated members and member order reach the compiler exactly as written.
    The text before it holds no line break, so a line number that the compiler
    reports inside the strategy is the line number in the file.
    """
    spec = [strategy, ',"target":', target_json(args)]
    if args.opt_level is not None:
        spec += [',"opt_level":', json_string(args.opt_level, "--opt-level")]
    if args.csv is not None:
        spec += [',"embed_data":{"kind":"csv","path":', json_string(args.csv, "--csv"), "}"]
    elif candles is not None:
        spec += [',"embed_data":{"kind":"inline","candles":', candles, "}"]
    if args.crate_name is not None:
        spec += [',"crate_name":', json_string(args.crate_name, "--crate-name")]

    command = [STRATEGY_PREFIX, *spec, "}"]
    if args.dry_run:
        command.append(',"dry_run":true')
    if args.out_dir is not None:
        command += [',"out_dir":', json_string(args.out_dir, "--out-dir")]
    command.append("}")
    return "".join(command)


def target_json(args: argparse.Namespace) -> str:
    """The request's target object for ``--target`` (and ``--mcu``)."""
    if args.target == "no_std":
        return '{"kind":"no_std","mcu":' + json_string(args.mcu, "--mcu") + "}"
    return json.dumps({"kind": args.target}, separators=(",", ":"))


def file_out_dir(args: argparse.Namespace, file: str) -> str | None:
    """The output directory of ``file``'s command.

    ``--out-dir`` as given, or with ``--dir-per-file`` one level below it,
    named after the file.  A file whose name without ``.json`` is ``.`` or
    ``..`` (``..json``, ``...json``) names no directory below it: refused.
    """
    if not args.dir_per_file:
        out_dir: str | None = args.out_dir
        return out_dir
    stem = Path(file).stem
    if stem in (".", ".."):
        raise UsageError(
            f"--dir-per-file cannot name a project directory after {file}: {stem} is not a directory "
            "below the output directory"
        )
    return os.path.join(DEFAULT_OUT_DIR if args.out_dir is None else args.out_dir, stem)


def build_notice(args: argparse.Namespace, count: int = 1) -> str:
    """The line announcing a real build (of ``count`` strategies), which blocks while cargo runs."""
    what = args.target if args.target != "no_std" else f"no_std for {args.mcu}"
    if count > 1:
        what = f"{count} strategies for {what}, {worker_count(args.jobs, count)} at a time,"
    details = []
    if args.crate_name is not None:
        details.append(f"crate {args.crate_name}")
    if args.opt_level is not None:
        details.append(f"opt-level {args.opt_level}")
    if args.out_dir is None:
        where = f"{DEFAULT_OUT_DIR} (default)"
    else:
        where = args.out_dir or "the current directory"
    detail_text = f" ({', '.join(details)})" if details else ""
    return f"building {what}{detail_text} in {where}; waiting for cargo"


def wasm_package_hint(response: Any) -> str | None:
    """What to install when a ``wasm`` build left no package behind.

    The compiler makes the package under ``pkg/`` with ``wasm-bindgen`` after
    cargo, and quietly leaves it out when that program is not installed; the
    build then holds only cargo's bare module.  The program's version has to
    be the ``wasm-bindgen`` crate's in the project's Cargo.lock.
    """
    if not isinstance(response, dict) or response.get("target") != {"kind": "wasm"}:
        return None
    if shutil.which("wasm-bindgen") is not None:
        return None
    package = Path(str(response["path"]))
    lock = package.parent.parent / "Cargo.lock"
    version = locked_version(lock, "wasm-bindgen")
    install = "cargo install wasm-bindgen-cli" + (f" --version {version}" if version else "")
    return (
        f"wasm-bindgen is not installed, so {package} was not made; install it with "
        f"`{install}` (the version of the wasm-bindgen crate in {lock}) and compile again"
    )


# What cargo says when no registry it knows serves lantor-backtest: none
# has it, or none has a version that the generated Cargo.toml accepts.
_BACKTEST_UNRESOLVED = re.compile(
    r"no matching package named `lantor-backtest` found"
    r"|failed to select a version for the requirement `lantor-backtest"
)


def backtest_hint(error: str, out_dir: str | None) -> str | None:
    """How to point cargo at a local lantor-backtest, when the build ``error`` says it found none.

    Generated projects depend on it by version; where it comes from a local
    checkout, a ``[patch.crates-io]`` entry in a ``.cargo/config.toml`` at or
    above the project tells cargo where, and cargo reads that file from
    every directory above the one it builds in.
    """
    if not error.startswith("build: ") or not _BACKTEST_UNRESOLVED.search(error):
        return None
    where = os.path.abspath(DEFAULT_OUT_DIR if out_dir is None else out_dir or ".")
    return (
        "cargo found no lantor-backtest to build against. To build against a local checkout of it, "
        f"add these lines to .cargo/config.toml in {where} or a folder above it, and compile again:\n"
        "    [patch.crates-io]\n"
        '    lantor-backtest = { path = "/path/to/lantor-backtest" }'
    )


def locked_version(lock: Path, package: str) -> str | None:
    """The version of ``package`` in the Cargo.lock at ``lock``, if it has one."""
    try:
        with lock.open("rb") as file:
            data = tomllib.load(file)
    except (OSError, tomllib.TOMLDecodeError):
        return None
    for entry in data.get("package", []):
        if isinstance(entry, dict) and entry.get("name") == package and "version" in entry:
            return str(entry["version"])
    return None
