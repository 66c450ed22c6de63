"""The package's type information: mypy --strict accepts typed use of it,
rejects misuse of it, and every public name carries a docstring."""

from __future__ import annotations

import inspect
import os
import site
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import lantor_compile
import lantor_compile.cli
import lantor_compile.cli_many
import lantor_compile.parallel

pytest.importorskip("mypy", reason="mypy is not installed")

PACKAGE_PARENT = Path(lantor_compile.__file__).resolve().parent.parent
TYPED_USAGE = Path(__file__).with_name("typed_usage.py")


def site_directories() -> set[Path]:
    paths = {sysconfig.get_paths()["purelib"], sysconfig.get_paths()["platlib"], *site.getsitepackages()}
    if site.ENABLE_USER_SITE:
        paths.add(site.getusersitepackages())
    return {Path(p).resolve() for p in paths}


def run_mypy(source: Path, cache: Path) -> subprocess.CompletedProcess[str]:
    env = dict(os.environ)
    # mypy finds an installed package by itself and refuses site-packages on
    # MYPYPATH; a development build has to be pointed at.
    if PACKAGE_PARENT not in site_directories():
        env["MYPYPATH"] = str(PACKAGE_PARENT)
    return subprocess.run(
        [
            sys.executable,
            "-m",
            "mypy",
            "--strict",
            "--no-incremental",
            "--cache-dir",
            str(cache),
            str(source),
        ],
        capture_output=True,
        text=True,
        env=env,
        timeout=300,
    )


def test_typed_usage_passes_mypy_strict(tmp_path: Path) -> None:
    done = run_mypy(TYPED_USAGE, tmp_path / "cache")
    assert done.returncode == 0, done.stdout + done.stderr


@pytest.mark.parametrize(
    ("source", "complaint"),
    [
        ("Compiler().command(b'{}')", '"bytes"'),
        ("Compiler(1)", "Too many arguments"),
        ("n: int = version()", '"str"'),
        ("Compiler().compile('{}')", '"compile"'),
        (
            "from lantor_compile import compile_many\ncompile_many([b'{}'])",
            '"bytes"; expected "str | dict[str, Any]"',
        ),
        ("strategy_schema(True)", "Too many positional arguments"),
    ],
    ids=[
        "bytes-command",
        "constructor-argument",
        "version-is-str",
        "no-such-method",
        "bytes-commands",
        "strict-is-keyword-only",
    ],
)
def test_mypy_rejects_misuse(tmp_path: Path, source: str, complaint: str) -> None:
    misuse = tmp_path / "misuse.py"
    misuse.write_text("from lantor_compile import Compiler, strategy_schema, version\n\n" + source + "\n")
    done = run_mypy(misuse, tmp_path / "cache")
    assert done.returncode == 1, done.stdout + done.stderr
    assert complaint in done.stdout


@pytest.mark.parametrize(
    "obj",
    [
        lantor_compile,
        lantor_compile.Compiler,
        lantor_compile.Compiler.command,
        lantor_compile.version,
        lantor_compile.compile_many,
        lantor_compile.strategy_schema,
        *[
            obj
            for module in (
                lantor_compile.cli,
                lantor_compile.cli_many,
                lantor_compile.parallel,
                lantor_compile.schema,
            )
            for obj in (
                module,
                *[
                    function
                    for name, function in vars(module).items()
                    if inspect.isfunction(function)
                    and not name.startswith("_")
                    and function.__module__ == module.__name__
                ],
            )
        ],
    ],
    ids=lambda obj: getattr(obj, "__qualname__", getattr(obj, "__name__", "")),
)
def test_public_names_have_docstrings(obj: object) -> None:
    assert (obj.__doc__ or "").strip()
