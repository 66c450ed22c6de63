"""Many commands at once: :func:`compile_many` runs them on worker threads.

A batch of commands runs without the interpreter lock
(``Compiler.command_batch_nogil``), so threads of one process share the work
of many commands with no pickling and no copies between processes
(``thread_pool``). Any :class:`concurrent.futures.Executor` can run the
batches instead: a process pool, or a cluster's executor.

This module schedules: it cuts the commands into batches, keeps a bounded
number of them in flight, stops early when asked, and says which command an
error belongs to. What runs the batches is a runner: the thread pool, or the
caller's executor behind :class:`_ExecutorRunner`.
"""

from __future__ import annotations

import itertools
import json
import operator
import os
import pickle
import threading
from collections.abc import Callable, Collection, Generator, Iterable, Iterator
from concurrent.futures import FIRST_COMPLETED, Executor, Future, wait
from typing import Any, NamedTuple, Protocol, TypeAlias

from ._lantor_compile import Compiler
from .thread_pool import BatchResult, ThreadPool, run_batch

Command: TypeAlias = "str | dict[str, Any]"

# The most worker threads compile_many starts, per CPU, whatever max_workers
# asks for: more only wait for their turn, since the commands (and cargo)
# share the same CPUs.
THREADS_PER_CPU = 4

# Commands go to the workers in batches. A batch should keep its worker busy
# for about this long: long enough that handing it over and back costs
# little beside the work, short enough that the workers finish close
# together. A command of a few microseconds (a dry run) ends up in batches of
# hundreds, a real build goes alone.
_BATCH_SECONDS = 0.02
_MAX_BATCH = 256

# A Compiler belongs to the thread that created it, so each thread of an
# executor keeps its own and reuses it for every command it runs.
_local = threading.local()


def worker_count(max_workers: int | None, commands: int | None = None) -> int:
    """How many worker threads :func:`compile_many` starts at most without an executor.

    ``max_workers`` (default: the number of CPUs), but no more than
    :data:`THREADS_PER_CPU` per CPU, and no more than ``commands`` when
    their number is known: a thread starts only for a batch that finds none
    idle.
    """
    cpus = os.cpu_count() or 1
    count = min(max_workers or cpus, THREADS_PER_CPU * cpus)
    return count if commands is None else max(1, min(count, commands))


def compile_many(
    commands: Iterable[Command],
    *,
    executor: Executor | None = None,
    max_workers: int | None = None,
) -> Generator[tuple[int, str], None, None]:
    """Run many commands on worker threads and yield ``(index, response)`` as each finishes.

    ``commands`` holds command texts (``str``, sent as they are) or dicts
    (sent as ``json.dumps(command)``); each response is the exact text that
    ``Compiler().command`` answers for it. Responses come in the order the
    commands finish, not the order given: ``index`` is the command's position
    in ``commands``. The iterable is consumed as the work goes on, so a lazy
    one of any length is fine. A single ``str`` (which would be iterated
    character by character) raises ``TypeError``.

    Without ``executor``, worker threads of this process run the commands,
    without the interpreter lock, in batches: they are started as the
    commands need them, ``max_workers`` at most (default: the number of
    CPUs), never more than four per CPU (:func:`worker_count`), never more
    than there are commands in flight. The calling thread takes a share:
    while it waits for responses it runs batches of commands that build
    nothing itself, so those need one thread fewer (none with
    ``max_workers=1``); builds always run on worker threads. Each thread
    creates one ``Compiler`` and reuses it for all the commands it runs; the
    threads end when the iteration does, also when it is closed early. With an executor of your
    own (a ``ProcessPoolExecutor`` kept for many calls,
    ``Client.get_executor()`` of a Dask cluster), it is used and left
    running; pass its number of workers as ``max_workers`` so that all of
    them are kept busy. Each of its worker threads creates one ``Compiler``.

    Once the caller stops (closes the iteration, or an exception or Ctrl-C
    ends it), no further command starts, also within a batch; the commands
    already running (a cargo build, say) are waited for, so that none goes
    on writing after the call has returned. An executor of your own can only
    be asked to cancel what it has not started.

    Commands that build for real run at the same time; two of them that
    write the same project directory take turns.

    A command that cannot be sent (neither ``str`` nor ``dict``, a dict that
    ``json.dumps`` refuses, a ``str`` that is not valid Unicode text) raises
    its error once every command before it has been answered and yielded;
    later commands are not started. So does an exception raised while a
    command runs, once the commands still running have ended. Either carries a
    note naming the command's index. An exception from the executor (a worker
    process that died, a cluster that went away) ends the iteration too,
    without waiting for the responses of other batches, with a note naming
    the batch's commands.
    """
    if isinstance(commands, str | bytes | bytearray):
        raise TypeError(f"compile_many takes an iterable of commands, not one {type(commands).__name__}")
    if max_workers is not None and max_workers < 1:
        raise ValueError("max_workers must be at least 1")
    expected = operator.length_hint(commands)
    if executor is None:
        workers = worker_count(max_workers)
        return _schedule(iter(commands), expected, lambda: ThreadPool(workers), workers)
    given = executor
    return _schedule(
        iter(commands), expected, lambda: _ExecutorRunner(given), max_workers or os.cpu_count() or 1
    )


class _Runner(Protocol):
    """What runs the batches for :func:`_schedule`."""

    def submit(self, batch: list[str], may_build: bool) -> Future[BatchResult]:
        """Start (or queue) a batch; ``may_build``: its last command may start a build."""

    def wait_any(self, futures: Collection[Future[BatchResult]]) -> set[Future[BatchResult]]:
        """Wait until one of ``futures`` is done; return those done.

        Ctrl-C interrupts the wait (KeyboardInterrupt).
        """

    def stop(self) -> None:
        """Start no further command of the batches submitted."""

    def close(self) -> None:
        """Stop, and wait for the commands that run."""


class _ExecutorRunner:
    """The caller's executor as a runner: each batch is one call of :func:`_run_batch_on_thread`."""

    def __init__(self, executor: Executor) -> None:
        self._executor = executor

    def submit(self, batch: list[str], may_build: bool) -> Future[BatchResult]:
        """Hand the batch to the executor."""
        return self._executor.submit(_run_batch_on_thread, batch)

    def wait_any(self, futures: Collection[Future[BatchResult]]) -> set[Future[BatchResult]]:
        """Wait as :func:`concurrent.futures.wait` does."""
        return wait(futures, return_when=FIRST_COMPLETED).done

    def stop(self) -> None:
        """Nothing to do: the scheduler cancels the futures, all an executor allows."""

    def close(self) -> None:
        """Nothing to do: the executor is the caller's, and stays running."""


def _run_batch_on_thread(commands: list[str]) -> BatchResult:
    """Run a batch with the compiler of the executor's thread that runs it."""
    compiler: Compiler | None = getattr(_local, "compiler", None)
    if compiler is None:
        compiler = _local.compiler = Compiler()
    responses, seconds, error = run_batch(compiler, commands)
    return responses, seconds, None if error is None else _portable(error)


def _portable(error: BaseException) -> BaseException:
    """``error``, or a RuntimeError that says the same where it would not survive pickling."""
    try:
        pickle.loads(pickle.dumps(error))
    except Exception:
        return RuntimeError(f"{type(error).__name__}: {error}")
    return error


def _schedule(
    commands: Iterator[Command], expected: int, make_runner: Callable[[], _Runner], workers: int
) -> Generator[tuple[int, str], None, None]:
    """The generator behind :func:`compile_many` (which checks its arguments at once).

    ``expected`` is how many commands there will be, as far as known (0 when
    not); ``workers`` how many batches run at once.
    """
    runner = make_runner()
    # Twice as many batches as workers are in flight, so that each worker
    # finds its next batch waiting when it finishes one.
    in_flight = 2 * workers
    pending: dict[Future[BatchResult], range] = {}
    batch_size = 1
    position = 0
    taking = True
    stopped = False
    failure: BaseException | None = None
    failed_at = 0
    try:
        while True:
            while taking and len(pending) < in_flight:
                size = batch_size
                if expected > position:
                    # Near the end batches shrink to a share of what is
                    # left, so that the workers run out of work at about the
                    # same time; not below an eighth of the usual size, which
                    # would only add hand-overs.
                    size = min(size, max(size // 8, (expected - position) // workers, 1))
                taken = _take(commands, size, position)
                if taken.texts:
                    future = runner.submit(taken.texts, taken.may_build)
                    pending[future] = range(position, position + len(taken.texts))
                    position += len(taken.texts)
                if taken.unsendable is not None:
                    # Every command before it is still answered; none after it starts.
                    failure, failed_at = taken.unsendable, position
                taking = taken.unsendable is None and not taken.exhausted
            if not pending:
                break
            # Cancelled batches last: they were cancelled because of a failure among the others.
            for future in sorted(runner.wait_any(pending), key=Future.cancelled):
                indices = pending.pop(future)
                if stopped and future.cancelled():
                    continue
                try:
                    responses, seconds, error = future.result()
                except BaseException as broken:
                    broken.add_note(f"compile_many was running commands {indices.start} to {indices[-1]}")
                    raise
                if responses:
                    batch_size = _next_batch_size(batch_size, seconds / len(responses))
                yield from zip(indices, responses, strict=False)
                if error is not None:
                    index = indices[len(responses)]
                    error.add_note(f"raised by command {index} of compile_many")
                    if failure is None or index < failed_at:
                        failure, failed_at = error, index
                    # The commands still running end early; their responses are yielded.
                    taking, stopped = False, True
                    runner.stop()
                    for other in pending:
                        other.cancel()
        if failure is not None:
            raise failure
    finally:
        runner.stop()
        for future in pending:
            future.cancel()
        runner.close()


class _Taken(NamedTuple):
    texts: list[str]
    may_build: bool  # the last command may start a build
    unsendable: Exception | None  # the error of the command after the last one
    exhausted: bool  # no command is left


def _take(commands: Iterator[Command], size: int, position: int) -> _Taken:
    """The next batch: up to ``size`` command texts from ``commands``.

    The batch ends before a command that cannot be sent, and after one that
    may start a build, so that a batch starts at most one build, at its end;
    ``position`` is the index of the first command taken.
    """
    texts: list[str] = []
    for command in itertools.islice(commands, size):
        # An ASCII str, the common case, is sent as it is; anything else is
        # looked at more closely (this loop runs in the caller's thread for
        # every command, beside the workers).
        if type(command) is str and command.isascii():
            text = command
        else:
            index = position + len(texts)
            try:
                text = _command_text(index, command)
            except Exception as error:
                error.add_note(f"compile_many could not send command {index}")
                return _Taken(texts, False, error, False)
        texts.append(text)
        if _may_build(command, text):
            return _Taken(texts, True, None, False)
    return _Taken(texts, False, None, len(texts) < size)


def _may_build(command: object, text: str) -> bool:
    """Whether a command may start a build: a compile that is not a dry run.

    Told from the text without reading it, so it errs towards yes (a dry run
    spelt with other spacing counts as a build); the cost of a yes is only a
    shorter batch.
    """
    if isinstance(command, dict):
        return command.get("cmd") == "compile" and command.get("dry_run") is not True
    # Searched from the end, where a command usually has it, since this runs
    # for every command in the caller's thread.
    return text.rfind('"dry_run":true') < 0 and text.rfind('"dry_run": true') < 0 and '"compile"' in text


def _command_text(index: int, command: object) -> str:
    if isinstance(command, str):
        if not command.isascii():
            command.encode("utf-8")  # A lone surrogate raises here rather than in a worker.
        return command
    if isinstance(command, dict):
        return json.dumps(command)
    raise TypeError(f"command {index} is {type(command).__name__}, not str or dict")


def _next_batch_size(size: int, seconds_per_command: float) -> int:
    """The size of the next batch after one whose commands took ``seconds_per_command`` each.

    Grows at most fourfold at a time, so that a few quick commands at the
    start do not send a long run of slow ones to one worker; shrinks at once.
    """
    fitting = _MAX_BATCH if seconds_per_command <= 0 else int(_BATCH_SECONDS / seconds_per_command)
    return max(1, min(4 * size, fitting, _MAX_BATCH))
