"""The JSON Schema (draft 2020-12) of the strategy document, as the package ships it.

Two flavours: the exact one accepts every document the compiler accepts, in
every spelling the compiler reads; the strict one, for writing documents,
takes objects only and no members of other names, so that editors flag a
misspelt member. Both are generated from one description of the document
and checked against the compiler's own tables by the project's tests.
"""

from __future__ import annotations

import json
from importlib import resources
from typing import Any

EXACT_FILE = "strategy.schema.json"
STRICT_FILE = "strategy.strict.schema.json"


def strategy_schema_text(*, strict: bool = False) -> str:
    """The schema's text exactly as shipped (``strict=True``: the strict flavour)."""
    name = STRICT_FILE if strict else EXACT_FILE
    return resources.files(__package__).joinpath(name).read_text(encoding="utf-8")


def strategy_schema(*, strict: bool = False) -> dict[str, Any]:
    """The schema as a dict, fresh on every call (``strict=True``: the strict flavour)."""
    schema: dict[str, Any] = json.loads(strategy_schema_text(strict=strict))
    return schema
