"""The committed Unicode table of the quoted form is what its generator makes."""

from __future__ import annotations

import importlib.util
import unicodedata
from pathlib import Path
from types import ModuleType

import pytest

GENERATOR = Path(__file__).resolve().parents[2] / "tools" / "gen_unicode_table.py"


def load_generator() -> ModuleType:
    spec = importlib.util.spec_from_file_location("gen_unicode_table", GENERATOR)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_committed_table_matches_its_generator() -> None:
    gen = load_generator()
    committed = gen.TABLE.read_text(encoding="ascii")
    version = gen.committed_version(committed)
    if version != unicodedata.unidata_version:
        pytest.skip(f"the table is from Unicode {version}; this Python has {unicodedata.unidata_version}")
    assert committed == gen.render()
