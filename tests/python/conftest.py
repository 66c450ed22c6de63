"""Shared fixtures for the Python tests.

``compiler`` is a fresh :class:`lantor_compile.Compiler` per test.  ``call``
is a helper ``call(compiler, obj) -> dict`` that sends ``json.dumps(obj)`` as
one command and returns the parsed response, for tests that care about the
response's content rather than its exact text.
"""

from __future__ import annotations

import json
from collections.abc import Callable
from typing import Any

import pytest

from lantor_compile import Compiler


def _call(compiler: Compiler, obj: Any) -> Any:
    return json.loads(compiler.command(json.dumps(obj)))


@pytest.fixture
def compiler() -> Compiler:
    return Compiler()


@pytest.fixture
def call() -> Callable[[Compiler, Any], Any]:
    return _call
