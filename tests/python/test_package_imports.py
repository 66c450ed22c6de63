"""The package's modules import one another in one direction only: no cycle,
also not through an import deferred into a function."""

from __future__ import annotations

import ast
import graphlib
from pathlib import Path

import lantor_compile

PACKAGE = Path(lantor_compile.__file__).parent


def module_of(name: str, modules: set[str]) -> str | None:
    """The package's module that the dotted ``name`` lies in, if any."""
    parts = name.split(".")
    if parts[0] != "lantor_compile":
        return None
    return parts[1] if len(parts) > 1 and parts[1] in modules else "__init__"


def imported_modules(source: Path, modules: set[str]) -> set[str]:
    """The package's modules that ``source`` imports anywhere in its text."""
    names = []
    for node in ast.walk(ast.parse(source.read_text(encoding="utf-8"))):
        if isinstance(node, ast.Import):
            names += [alias.name for alias in node.names]
        elif isinstance(node, ast.ImportFrom):
            base = "lantor_compile" if node.level else ""
            base = ".".join(filter(None, [base, node.module]))
            # `from . import x` imports the module x when the package has one.
            names += [base + "." + alias.name for alias in node.names]
    found = {module_of(name, modules) for name in names}
    return {module for module in found if module is not None} - {source.stem}


def test_the_import_graph_has_no_cycle() -> None:
    # The native modules count too (through their stubs): they import nothing.
    modules = {path.stem for path in [*PACKAGE.glob("*.py"), *PACKAGE.glob("*.pyi")]} - {"__init__"}
    sources = [*PACKAGE.glob("*.py")]
    graph = {source.stem: imported_modules(source, modules) for source in sources}
    assert {"parallel", "_lantor_compile"} <= graph["__init__"]  # the walk sees the imports
    graphlib.TopologicalSorter(graph).prepare()  # raises CycleError naming the circle
