"""Typed use of the package's public names, checked with ``mypy --strict``.

Never imported by the tests; test_typing.py hands this file to mypy, which
fails if the stubs leave a name out or type it too loosely to check.
"""

from __future__ import annotations

import json
from concurrent.futures import ThreadPoolExecutor
from typing import Any

import lantor_compile
from lantor_compile import (
    Compiler,
    Diagnostic,
    PanicException,
    StopFlag,
    __version__,
    check,
    compile_many,
    strategy_schema,
    version,
)


def send(compiler: Compiler, command: dict[str, object]) -> str:
    response: str = compiler.command(json.dumps(command))
    return response


def send_by_keyword(compiler: Compiler) -> str:
    return compiler.command(cmd_json='{"cmd":"version"}')


def send_batch(compiler: Compiler, texts: list[str], stop: StopFlag) -> list[str]:
    responses, error = compiler.command_batch_nogil(texts, stop)
    if error is not None:
        raise error
    return responses


def versions() -> tuple[str, str, str]:
    return version(), __version__, lantor_compile.__version__


def schemas() -> tuple[dict[str, Any], dict[str, Any]]:
    return strategy_schema(), strategy_schema(strict=True)


def is_thread_misuse(error: BaseException) -> bool:
    return isinstance(error, PanicException)


def many(strategy: dict[str, object]) -> dict[int, str]:
    commands: list[str | dict[str, object]] = ['{"cmd":"version"}', {"cmd": "compile", "spec": strategy}]
    with ThreadPoolExecutor(2) as executor:
        on_threads = compile_many(commands, executor=executor, max_workers=2)
        first: tuple[int, str] = next(on_threads)
        on_threads.close()
    return dict([first, *compile_many(iter(commands), max_workers=1)])


def main() -> None:
    compiler = Compiler()
    print(send(compiler, {"cmd": "targets"}), send_by_keyword(compiler), versions(), schemas())
    try:
        compiler.command('{"cmd":"reset"}')
    except PanicException as error:
        print(is_thread_misuse(error))


def first_error_place(text: str) -> tuple[str, int, int] | None:
    found: list[Diagnostic] = check(text)
    errors = [d for d in found if d.severity == "error"]
    return None if not errors else (errors[0].pointer, errors[0].line, errors[0].column)
