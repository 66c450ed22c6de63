"""Many commands at once: :func:`compile_many` runs them on worker processes.

A command holds the interpreter lock for its whole run, so threads of one
process cannot share the work; worker processes can, and so can any
:class:`concurrent.futures.Executor` that runs calls elsewhere (a cluster's
executor, for example).
"""

from __future__ import annotations

import itertools
import json
import operator
import os
import signal
import threading
import time
from collections.abc import Generator, Iterable, Iterator
from concurrent.futures import FIRST_COMPLETED, Executor, Future, ProcessPoolExecutor, wait
from typing import Any, TypeAlias

from ._lantor_compile import Compiler

Command: TypeAlias = "str | dict[str, Any]"

# Commands go to the workers in batches. A batch should keep its worker busy
# for about this long: long enough that handing it over and back costs
# little beside the work, short enough that the workers finish close
# together. A command of a few microseconds (a dry run) ends up in batches of
# hundreds, a real build goes alone.
_BATCH_SECONDS = 0.02
_MAX_BATCH = 256

# A Compiler belongs to the thread that created it, so each worker thread
# (one per process in the default pool, several in some executors) keeps
# its own and reuses it for every command it runs.
_local = threading.local()

# Set in a worker of the default pool when Ctrl-C reached it.
_interrupted = threading.Event()


def compile_many(
    commands: Iterable[Command],
    *,
    executor: Executor | None = None,
    max_workers: int | None = None,
) -> Generator[tuple[int, str], None, None]:
    """Run many commands in worker processes and yield ``(index, response)`` as each finishes.

    ``commands`` holds command texts (``str``, sent as they are) or dicts
    (sent as ``json.dumps(command)``); each response is the exact text that
    ``Compiler().command`` answers for it. Responses come in the order the
    commands finish, not the order given: ``index`` is the command's position
    in ``commands``. The iterable is consumed as the work goes on, so a lazy
    one of any length is fine.

    Without ``executor``, a process pool of ``max_workers`` processes
    (default: the number of CPUs) is made for the call and shut down when the
    iteration ends, also when it is abandoned or closed early. With an
    executor of your own (``Client.get_executor()`` of a Dask cluster, a
    ``ProcessPoolExecutor`` kept for many calls), it is used and left running;
    pass its number of workers as ``max_workers`` so that all of them are kept
    busy. Each worker process, or thread, creates one ``Compiler`` and reuses
    it for all the commands it runs.

    Commands that build for real run at the same time: two of them that write
    the same project directory (same output directory and crate name) must
    not be in one call.

    An exception from the executor (a worker process that died, a cluster
    that went away) is raised from the iteration, and the commands not yet
    started are cancelled. A command that is neither ``str`` nor ``dict``
    raises ``TypeError`` when its turn comes.
    """
    if max_workers is not None and max_workers < 1:
        raise ValueError("max_workers must be at least 1")
    workers = max_workers or os.cpu_count() or 1
    return _run(iter(commands), operator.length_hint(commands), executor, workers)


def _run(
    commands: Iterator[Command], expected: int, executor: Executor | None, workers: int
) -> Generator[tuple[int, str], None, None]:
    """The generator behind :func:`compile_many` (which checks its arguments at once).

    ``expected`` is how many commands there will be, as far as known (0 when not).
    """
    own = executor is None
    pool = executor
    if pool is None:
        pool = ProcessPoolExecutor(workers, initializer=_leave_interrupts_to_the_caller)
    # Twice as many batches as workers are handed out, so that each worker
    # finds its next batch waiting when it finishes one.
    in_flight = 2 * workers
    pending: dict[Future[tuple[list[str], float]], range] = {}
    batch_size = 1
    position = 0
    exhausted = False
    try:
        while True:
            while not exhausted and len(pending) < in_flight:
                size = batch_size
                if expected > position:
                    # Near the end batches shrink to a share of what is
                    # left, so that the workers run out of work at about the
                    # same time; not below an eighth of the usual size, which
                    # would only add hand-overs.
                    size = min(size, max(size // 8, (expected - position) // workers, 1))
                taken = enumerate(itertools.islice(commands, size), start=position)
                batch = [_command_text(index, command) for index, command in taken]
                if not batch:
                    exhausted = True
                    break
                pending[pool.submit(_run_batch, batch)] = range(position, position + len(batch))
                position += len(batch)
            if not pending:
                return
            done, _ = wait(pending, return_when=FIRST_COMPLETED)
            for future in done:
                indices = pending.pop(future)
                responses, seconds = future.result()
                batch_size = _next_batch_size(batch_size, seconds / len(indices))
                yield from zip(indices, responses, strict=True)
    finally:
        for future in pending:
            future.cancel()
        if own:
            # With every command answered the idle workers exit by themselves;
            # waiting for them only delays the caller. Stopped early, the
            # running commands (a cargo build, say) are waited for, so that
            # none goes on writing after the call has returned.
            pool.shutdown(wait=bool(pending), cancel_futures=True)


def _command_text(index: int, command: object) -> str:
    if isinstance(command, str):
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


def _run_batch(commands: list[str]) -> tuple[list[str], float]:
    """Run a batch in a worker with its thread's compiler; also return how long the commands took."""
    compiler: Compiler | None = getattr(_local, "compiler", None)
    if compiler is None:
        compiler = _local.compiler = Compiler()
    started = time.perf_counter()
    responses = []
    for text in commands:
        if _interrupted.is_set():
            raise KeyboardInterrupt
        responses.append(compiler.command(text))
    return responses, time.perf_counter() - started


def _leave_interrupts_to_the_caller() -> None:
    """Make Ctrl-C stop a worker of the default pool between commands.

    The terminal sends the signal to the whole process group: the caller gets
    KeyboardInterrupt and shuts the pool down, and a cargo that a worker runs
    stops, since a program started from a process that handles a signal gets
    the default action for it. The worker itself only notes the signal and
    raises KeyboardInterrupt before its next command, so the batches already
    handed to it end at once instead of starting new builds; it neither dies
    with a traceback nor breaks the pool while the caller shuts it down.
    """
    signal.signal(signal.SIGINT, _note_interrupt)


def _note_interrupt(signum: int, frame: object) -> None:
    """Note Ctrl-C for :func:`_run_batch`."""
    _interrupted.set()
