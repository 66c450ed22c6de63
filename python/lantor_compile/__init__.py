"""lantor_compile: a strategy compiler driven by JSON commands.

Create a :class:`Compiler` and hand it one command at a time as JSON text;
each call returns the response as JSON text.  A ``Compiler`` is bound to the
thread that created it: using it from another thread raises
:class:`PanicException`.  :func:`compile_many` runs many commands at once on
worker threads without the interpreter lock, or on any
:class:`concurrent.futures.Executor`.
:func:`strategy_schema` returns the JSON Schema of the strategy document.
:func:`check` validates a strategy document's text and returns located
:class:`Diagnostic` values: its error, if any, and warnings.
"""

from lantor_compile._lantor_compile import Compiler, PanicException, StopFlag, __version__, version
from lantor_compile.async_compiler import AsyncCompiler, command_async
from lantor_compile.diagnostics import Diagnostic, check
from lantor_compile.parallel import compile_many
from lantor_compile.schema import strategy_schema

__all__ = [
    "AsyncCompiler",
    "Compiler",
    "Diagnostic",
    "PanicException",
    "StopFlag",
    "__version__",
    "check",
    "command_async",
    "compile_many",
    "strategy_schema",
    "version",
]
