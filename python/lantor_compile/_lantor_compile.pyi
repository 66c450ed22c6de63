"""The native module (`lantor_compile._lantor_compile`)."""

from typing import final

__version__: str

def version() -> str:
    """The library version."""

@final
class Compiler:
    """A compiler driven by JSON commands.

    `unsendable`: the handle holds a stateful build cache, so it is bound to the
    thread that created it.
    """

    def __init__(self) -> None: ...
    def command(self, cmd_json: str) -> str:
        """Apply a command JSON and return the response JSON.

        Domain errors are reported in-band as `{"ok": false, "error": ...}` JSON,
        not raised.
        """

    def command_nogil(self, cmd_json: str) -> str:
        """Apply a command JSON and return the response JSON, as `command` does,
        with the interpreter lock released while the command runs.

        Other Python threads run meanwhile, a cargo build included. The response
        is the one `command` gives. Relative paths and the environment of a build
        are those of the moment the call starts: a later `os.chdir` or change to
        `os.environ` does not reach a running command. The instance stays bound
        to the thread that created it.
        """

    def command_batch_nogil(
        self, cmd_jsons: list[str] | tuple[str, ...], stop: StopFlag | None = None
    ) -> tuple[list[str], BaseException | None]:
        """Apply the commands of a list one after the other, as `command_nogil` does,
        with the interpreter lock released for the whole batch.

        Returns `(responses, error)`: the response of each command that ran, in
        order, and the exception the next command raised (None when none did).
        No command starts once `stop` (a StopFlag) is set, or after one raised, so
        there can be fewer responses than commands. Every command of the batch
        resolves relative paths and gets the environment of the moment the call
        starts. An item that is not a `str` raises before any command runs.
        """

@final
class StopFlag:
    """A flag that any thread may set, which `Compiler.command_batch_nogil` reads
    before each command of its batch, without the interpreter lock.
    """

    def __init__(self) -> None: ...
    def set(self) -> None:
        """Set the flag: no further command of a batch reading it starts."""

    def is_set(self) -> bool:
        """Whether the flag is set."""

class PanicException(BaseException):
    """Raised when a Compiler is used in a way that cannot be carried out safely,
    such as from a thread other than the one that created it.
    """
