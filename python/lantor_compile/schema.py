"""The JSON Schema (draft 2020-12) of the strategy document, as the package
ships it, and the compiler's own description of its documents.

Two flavours: the exact one accepts every document the compiler accepts, in
every spelling the compiler reads; the strict one, for writing documents,
takes objects only and no members of other names, so that editors flag a
misspelt member. Both are generated from :func:`describe` and checked
against it by the project's tests.
"""

from __future__ import annotations

import json
from importlib import resources
from typing import Any

from lantor_compile import _lantor_check

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


def describe() -> dict[str, Any]:
    """The compiler's description of its documents, made from the tables its
    readers use; a fresh dict on every call.

    - ``"compiler_version"``: the module's version;
    - ``"scalars"``: the scalar types, each ``{"name", "json_type", ...}``
      with ``"minimum"`` and ``"maximum"`` for integers (``"any"`` has no
      JSON type);
    - ``"strategy"``: the strategy document's types, the document first:
      records as ``{"name", "shape": "record", "members": [{"name", "type",
      "required", "default"}]}`` (``"default"`` for optional members only),
      choices as ``{"name", "shape", "tag", "variants": [{"name", "data"}]}``
      with the shapes ``"internally_tagged"`` (``"tag"`` names the member),
      ``"externally_tagged"`` and ``"untagged"``; a type is written ``u32``,
      ``X?`` (X or null), ``[X]``, ``{X}`` (a map to X), ``(X, Y)`` (a
      tuple) or the name of another type;
    - ``"request"``: the compile request's choices: ``"target_kinds"``,
      ``"opt_levels"`` and ``"default_opt_level"``, ``"mcus"`` (the
      allow-list of ``no_std`` targets), ``"dataset_kinds"`` and
      ``"default_out_dir"``; and ``"strategy_path"``, the members that lead
      from a compile command to its strategy (``["spec", "strategy"]``);
    - ``"codes"``: the diagnostic codes of :func:`lantor_compile.check`,
      each ``{"name", "severity"}`` with the severity ``"error"`` or
      ``"warning"``.
    """
    description: dict[str, Any] = json.loads(_lantor_check.describe())
    return description
