"""Located failures and the strategy checker (`lantor_compile._lantor_check`).

The checker is compiled into the compiler's shared object, so that the wheel
holds the core once. That file exports one init function per module; the
import system finds only the one named after the file, so this module loads
the other by hand, under its own name, and stands aside for it in
``sys.modules``.
"""

from __future__ import annotations

import sys
from importlib.machinery import ExtensionFileLoader
from importlib.util import module_from_spec, spec_from_file_location

from lantor_compile import _lantor_compile


def _load() -> None:
    path = _lantor_compile.__file__
    loader = ExtensionFileLoader(__name__, path)
    spec = spec_from_file_location(__name__, path, loader=loader)
    assert spec is not None
    module = module_from_spec(spec)
    loader.exec_module(module)
    sys.modules[__name__] = module


_load()
