"""Located failures and the strategy checker (`lantor_compile._lantor_check`)."""

Finding = tuple[str, str, str, str, int, str | None]

def check(text: str, /) -> list[Finding]:
    """The findings of a strategy document: (severity, code, message, pointer, offset, help) tuples."""

def locate(command: str, /) -> Finding | None:
    """Where a compile command fails before its build, as one such tuple, or None."""

def describe() -> str:
    """The strategy document's types and the compile request's choices, from the compiler's own tables, as JSON text."""
