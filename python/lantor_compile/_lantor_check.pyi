"""Located failures and the strategy checker (`lantor_compile._lantor_check`)."""

# (severity, code, message, pointer, offset, help, line, column, length)
Finding = tuple[str, str, str, str, int, str | None, int, int, int]

def check(text: str, /) -> list[Finding]:
    """The findings of a strategy document, the column counted in characters and the length in bytes."""

def locate(command: str, /) -> Finding | None:
    """Where a compile command fails before its build, as one such tuple, or None."""

def position(data: bytes, offset: int, /) -> tuple[int, int, int, int]:
    """The line and the byte, character and UTF-16 columns (1-based) of byte ``offset`` of ``data``."""

def describe() -> str:
    """The strategy document's types and the compile request's choices, from the compiler's own tables, as JSON text."""
