"""Located failures and the strategy checker (`lantor_compile._lantor_check`)."""

# (severity, code, message, pointer, offset, help, line, column, length, suggestion)
Finding = tuple[str, str, str, str, int, str | None, int, int, int, str | None]

# (parent, kind, start, end, name_start, name_end, name, index, string): -1 for
# no parent, a value not begun or not ended, or no name; kind is "object",
# "array" or "scalar"; string is a string's decoded text.
Value = tuple[int, str, int, int, int, int, str | None, int, str | None]

def check(text: str, /) -> list[Finding]:
    """The findings of a strategy document, the column counted in characters and the length in bytes."""

def locate(command: str, /) -> Finding | None:
    """Where a compile command fails before its build, as one such tuple, or None."""

def position(data: bytes, offset: int, /) -> tuple[int, int, int, int]:
    """The line and the byte, character and UTF-16 columns (1-based) of byte ``offset`` of ``data``."""

def positions(data: bytes, offsets: list[int], /) -> list[tuple[int, int, int, int]]:
    """The line and the byte, character and UTF-16 columns of each of ``offsets``, in one pass."""

def values(text: str, /) -> tuple[list[Value], int | None]:
    """Every value of a strategy document's text in the order they begin, and where the reader failed."""

def describe() -> str:
    """The strategy document's types and the compile request's choices, from the compiler's own tables, as JSON text."""
