"""Commands from asyncio code that leave the event loop free while they run.

An :class:`AsyncCompiler` owns one worker thread and a :class:`Compiler` that
lives on it; ``await compiler.command(text)`` hands the command to that thread,
which runs it with ``Compiler.command_nogil``, so the event loop (and every
other thread) keeps running through a cargo build. :func:`command_async` runs
one command on a shared instance.
"""

from __future__ import annotations

import asyncio
import concurrent.futures
import queue
import threading
import weakref
from types import TracebackType

from lantor_compile._lantor_compile import Compiler

# A command and where its response goes; None tells the worker to stop.
_Job = tuple[str, "concurrent.futures.Future[str]"] | None


def _serve(
    jobs: queue.SimpleQueue[_Job],
    started: concurrent.futures.Future[None],
    finished: concurrent.futures.Future[None],
) -> None:
    """The worker thread: creates its Compiler, runs the jobs in turn until
    told to stop, and drops the Compiler on this thread, which owns it."""
    try:
        try:
            compiler = Compiler()
        except BaseException as exc:  # reported to the constructor, which raises it
            started.set_exception(exc)
            return
        started.set_result(None)
        while (job := jobs.get()) is not None:
            text, future = job
            if not future.set_running_or_notify_cancel():
                continue  # cancelled while it waited for its turn: never started
            try:
                future.set_result(compiler.command_nogil(text))
            except BaseException as exc:  # the caller's to see, as from command()
                future.set_exception(exc)
        del compiler
    finally:
        finished.set_result(None)


class AsyncCompiler:
    """A compiler for asyncio code: its commands run on a worker thread of
    its own, without the interpreter lock, and the event loop keeps serving
    while they run.

    The instance has one ``Compiler``, created and used only on the worker
    thread, so ``artifact_bytes`` handles number and live as they do in a
    ``Compiler`` and last as long as this object. Commands run one at a time,
    in the order they were awaited; their responses are those of
    ``Compiler.command``. Any event loop (or several in turn) may use it.

    Cancelling an ``await command(...)`` stops the waiting: a command that
    has started runs to its end (a build is not interrupted) and one still
    waiting for its turn does not start. ``aclose()`` (or leaving ``async
    with``) refuses new commands and waits until those handed over have
    ended, so no build outlives the object.
    """

    def __init__(self) -> None:
        self._jobs: queue.SimpleQueue[_Job] = queue.SimpleQueue()
        started: concurrent.futures.Future[None] = concurrent.futures.Future()
        self._finished: concurrent.futures.Future[None] = concurrent.futures.Future()
        # A daemon thread: the interpreter does not wait for it at exit, and
        # a build still running then is killed with the process.
        threading.Thread(
            target=_serve, args=(self._jobs, started, self._finished), name="lantor-compile", daemon=True
        ).start()
        started.result()
        self._closed = False
        self._lock = threading.Lock()
        # Unclosed and collected: the worker still stops after its last job.
        self._stop = weakref.finalize(self, self._jobs.put, None)

    async def command(self, cmd_json: str) -> str:
        """Runs one command on the worker thread and returns its response, as
        ``Compiler.command`` does. Raises ``RuntimeError`` once closed."""
        future: concurrent.futures.Future[str] = concurrent.futures.Future()
        with self._lock:
            if self._closed:
                raise RuntimeError("AsyncCompiler is closed")
            self._jobs.put((cmd_json, future))
        return await asyncio.wrap_future(future)

    async def aclose(self) -> None:
        """Refuses new commands and waits until every command already handed
        over has ended. Closing again only waits."""
        with self._lock:
            self._closed = True
            self._stop()
        # Shielded: a cancelled aclose stops waiting without cancelling what
        # the worker reports.
        await asyncio.shield(asyncio.wrap_future(self._finished))

    async def __aenter__(self) -> AsyncCompiler:
        return self

    async def __aexit__(
        self,
        exc_type: type[BaseException] | None,
        exc: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        await self.aclose()


_shared: AsyncCompiler | None = None
_shared_lock = threading.Lock()


async def command_async(cmd_json: str) -> str:
    """Runs one command on a shared :class:`AsyncCompiler`, made on first use,
    and returns its response. For one-off commands: ``artifact_bytes``
    handles of the shared instance are shared with everyone who uses it."""
    global _shared
    with _shared_lock:
        if _shared is None:
            _shared = AsyncCompiler()
        shared = _shared
    return await shared.command(cmd_json)
