"""The subcommands of ``lantor-compile`` that change nothing: ``targets``,
``version``, ``hash`` and ``schema``."""

from __future__ import annotations

import argparse

from .cli_common import json_string, run_command, write_text
from .schema import strategy_schema_text


def run_targets(args: argparse.Namespace) -> int:
    """Handle ``targets``: the target kinds and the allowed MCU triples."""
    return run_command('{"cmd":"targets"}', args)


def run_version(args: argparse.Namespace) -> int:
    """Handle ``version``: the compiler's and the backtest dependency's versions."""
    return run_command('{"cmd":"version"}', args)


def run_hash(args: argparse.Namespace) -> int:
    """Handle ``hash``: read FILE through ``artifact_bytes`` and print handle, len, sha256."""
    return run_command('{"cmd":"artifact_bytes","path":' + json_string(args.file, "FILE") + "}", args)


def run_schema(args: argparse.Namespace) -> int:
    """Handle ``schema``: print the shipped schema text as it stands."""
    write_text(strategy_schema_text(strict=args.strict))
    return 0
