"""The two native modules live in one shared object, which holds the core once."""

from __future__ import annotations

from pathlib import Path

import lantor_compile
from lantor_compile import _lantor_check, _lantor_compile


def test_the_checker_is_loaded_from_the_compilers_shared_object() -> None:
    assert _lantor_check.__name__ == "lantor_compile._lantor_check"
    assert _lantor_check.__file__ == _lantor_compile.__file__
    assert "invalid-type" in [found[1] for found in _lantor_check.check('{"symbol": 1}')]
    package = Path(lantor_compile.__file__).parent
    assert [p.name for p in package.glob("*.so")] == [Path(_lantor_compile.__file__).name]


def test_the_compiler_module_shows_only_its_own_names() -> None:
    names = {n for n in vars(_lantor_compile) if not n.startswith("__")}
    assert names == {"Compiler", "PanicException", "StopFlag", "version"}
    assert _lantor_compile.__doc__ == "The native module (`lantor_compile._lantor_compile`)."
