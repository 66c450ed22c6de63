"""Every command block of README.md and the pages under docs/ runs as written.

A block fenced as ``sh`` or ``bash`` runs in bash (``-e``, ``pipefail``), one
test per block. The ``python`` blocks of a page run in order in one
interpreter, as a reader would type them, so a later block may use what an
earlier one defined. Blocks of other languages (JSON, C, JavaScript, output)
are not commands and are left alone.

An HTML comment alone on the line before a block says how it runs:

- ``<!-- test: skip REASON -->``: never; it needs the network, installs
  something, runs the whole suite, or names files of the reader's own;
- ``<!-- test: slow -->``: with the slow tests only (a build of minutes);
- ``<!-- test: toolchain -->``: with the slow tests, when cargo is there;
  under CI=true a missing cargo fails instead of skipping.

Each run starts in a fresh directory that links to the checkout's top-level
entries (so ``examples/`` and ``.cargo/config.toml`` are where the docs say),
with the installed package's scripts first on PATH, and is bounded in time and
address space; on timeout its whole process group is killed.
"""

from __future__ import annotations

import os
import re
import resource
import shutil
import signal
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
PAGES = [ROOT / "README.md", *sorted((ROOT / "docs").rglob("*.md"))]
SHELLS = {"sh", "bash"}
MODES = {"run", "skip", "slow", "toolchain"}
MARKER = re.compile(r"<!--\s*test:\s*(\S+)\s*(.*?)\s*-->")
FENCE = re.compile(r"^(\s*)```(\S*)\s*$")
# Entries of the checkout a run does not see: build trees and earlier output.
HIDDEN = {".git", "build", "_out", "site"}
LIMITS = {"run": (120, 2 << 30), "slow": (1800, 16 << 30), "toolchain": (1800, 16 << 30)}


@dataclass(frozen=True)
class Block:
    page: Path
    line: int  # of the opening fence, from 1
    lang: str
    text: str
    mode: str
    reason: str

    @property
    def where(self) -> str:
        return f"{self.page.relative_to(ROOT)}:{self.line}"


def blocks_of(page: Path) -> list[Block]:
    """The fenced blocks of a page, each with the marker on the line above."""
    lines = page.read_text(encoding="utf-8").splitlines()
    found: list[Block] = []
    i = 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if opening is None:
            i += 1
            continue
        indent, lang = opening.groups()
        end = next(j for j in range(i + 1, len(lines)) if lines[j].strip() == "```")
        marker = MARKER.fullmatch(lines[i - 1].strip()) if i > 0 else None
        mode, reason = marker.groups() if marker else ("run", "")
        text = "\n".join(line.removeprefix(indent) for line in lines[i + 1 : end]) + "\n"
        found.append(Block(page, i + 1, lang, text, mode, reason))
        i = end + 1
    return found


BLOCKS = [b for page in PAGES for b in blocks_of(page)]
COMMANDS = [b for b in BLOCKS if b.lang in SHELLS | {"python"}]


def mode_of(blocks: list[Block]) -> str:
    modes = {b.mode for b in blocks}
    return next(m for m in ("toolchain", "slow", "run") if m in modes)


def marks(mode: str) -> list[pytest.MarkDecorator]:
    return [pytest.mark.slow] if mode in ("slow", "toolchain") else []


def test_markers_are_understood() -> None:
    """A mistyped marker would quietly run or skip a block."""
    markers = [
        (page, n, m)
        for page in PAGES
        for n, line in enumerate(page.read_text().splitlines(), 1)
        if (m := MARKER.fullmatch(line.strip()))
    ]
    placed = {(b.page, b.line - 1) for b in COMMANDS if b.mode != "run"}
    wrong = [
        f"{page.relative_to(ROOT)}:{n}"
        for page, n, m in markers
        if m.group(1) not in MODES or (m.group(1) == "skip" and not m.group(2)) or (page, n) not in placed
    ]
    assert markers and not wrong, f"markers unknown, without a reason, or not above a command block: {wrong}"


def workdir(tmp_path: Path) -> Path:
    for entry in ROOT.iterdir():
        if entry.name not in HIDDEN and not entry.name.startswith("build"):
            (tmp_path / entry.name).symlink_to(entry)
    return tmp_path


def run_bounded(argv: list[str], cwd: Path, mode: str) -> None:
    seconds, address_space = LIMITS[mode]

    def limit() -> None:
        resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))

    env = dict(os.environ)
    env["PATH"] = os.pathsep.join([str(Path(sys.executable).parent), env.get("PATH", "")])
    with subprocess.Popen(
        argv,
        cwd=cwd,
        env=env,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        preexec_fn=limit,
        start_new_session=True,
    ) as process:
        try:
            output, _ = process.communicate(timeout=seconds)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
            pytest.fail(f"still running after {seconds} s", pytrace=False)
    assert process.returncode == 0, output.decode(errors="replace")[-4000:]


def need_toolchain() -> None:
    if shutil.which("cargo") is None and not Path("/usr/bin/cargo").is_file():
        if os.environ.get("CI") == "true":
            pytest.fail("CI has no cargo", pytrace=False)
        pytest.skip("no cargo")


def prepare(blocks: list[Block]) -> str:
    mode = mode_of(blocks)
    if mode == "toolchain":
        need_toolchain()
    return mode


SHELL_CASES = [
    pytest.param(b, id=b.where, marks=marks(b.mode))
    for b in COMMANDS
    if b.lang in SHELLS and b.mode != "skip"
]


@pytest.mark.parametrize("block", SHELL_CASES)
def test_shell_block(block: Block, tmp_path: Path) -> None:
    mode = prepare([block])
    run_bounded(["bash", "-e", "-o", "pipefail", "-c", block.text], workdir(tmp_path), mode)


# Runs a page's python blocks in one namespace, each compiled under its place
# in the page so that a traceback names it.
DRIVER = """
import sys
namespace = {"__name__": "__main__"}
for where, text in zip(sys.argv[1::2], sys.argv[2::2]):
    exec(compile(text, where, "exec"), namespace)
"""

PYTHON_PAGES = {
    page: [b for b in COMMANDS if b.page == page and b.lang == "python" and b.mode != "skip"]
    for page in PAGES
}
PYTHON_CASES = [
    pytest.param(blocks, id=str(page.relative_to(ROOT)), marks=marks(mode_of(blocks)))
    for page, blocks in PYTHON_PAGES.items()
    if blocks
]


@pytest.mark.parametrize("blocks", PYTHON_CASES)
def test_python_blocks(blocks: list[Block], tmp_path: Path) -> None:
    mode = prepare(blocks)
    argv = [sys.executable, "-c", DRIVER]
    for b in blocks:
        argv += [b.where, b.text]
    run_bounded(argv, workdir(tmp_path), mode)
