"""lantor_compile: a strategy compiler driven by JSON commands.

Create a :class:`Compiler` and hand it one command at a time as JSON text;
each call returns the response as JSON text.  A ``Compiler`` is bound to the
thread that created it: using it from another thread raises
:class:`PanicException`.
"""

from lantor_compile._lantor_compile import Compiler, PanicException, __version__, version

__all__ = ["Compiler", "PanicException", "__version__", "version"]
