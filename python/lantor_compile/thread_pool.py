"""The worker threads of :func:`lantor_compile.compile_many`.

:class:`ThreadPool` starts a thread only when a batch of commands finds none
idle, up to its limit. Each thread keeps one :class:`Compiler` for all its
batches, created and dropped on that thread, and runs a batch with
``Compiler.command_batch_nogil``, which releases the interpreter lock for
the whole batch: the threads compile at the same time, and nothing is
pickled or copied between processes.

Batches are handed to the threads one at a time by the caller's thread, as
it submits them or waits for them; the batches that wait stay with the
pool. So once the pool is stopped no batch starts, and a Ctrl-C reaches the
caller before any other batch does: Python runs the handler in the caller's
thread before that thread hands out anything more, even when the builds the
signal also ended returned first. A :class:`StopFlag` shared by the threads
is read before each command, so no further command of a running batch
starts either.

The threads are daemon threads: a pool that was never closed does not keep
the interpreter from exiting, and a build still running then ends with the
process (a child's parent-death signal follows the thread that started it).
"""

from __future__ import annotations

import collections
import queue
import signal
import threading
import time
from collections.abc import Collection
from concurrent.futures import FIRST_COMPLETED, Future, wait
from typing import TypeAlias

from ._lantor_compile import Compiler, StopFlag

# What running a batch gives: the responses of its first commands, in order,
# how long they took, and the exception raised by the command after the last
# response, if one raised. A batch that was stopped has fewer responses than
# commands and no exception.
BatchResult: TypeAlias = "tuple[list[str], float, BaseException | None]"

# The name of every worker thread.
THREAD_NAME = "lantor_compile worker"

# A batch and where its result goes; None tells a thread to end.
_Job: TypeAlias = "tuple[Future[BatchResult], list[str]] | None"


def run_batch(compiler: Compiler, commands: list[str], stop: StopFlag | None = None) -> BatchResult:
    """Run ``commands`` one after the other until one raises or ``stop`` is set."""
    started = time.perf_counter()
    responses, error = compiler.command_batch_nogil(commands, stop)
    return responses, time.perf_counter() - started, error


def _serve(jobs: queue.SimpleQueue[_Job], stop: StopFlag) -> None:
    """A thread's life: run each batch it is given until told to end."""
    compiler: Compiler | None = None
    while (job := jobs.get()) is not None:
        future, batch = job
        try:
            if compiler is None:
                compiler = Compiler()
            result = run_batch(compiler, batch, stop)
        except BaseException as error:  # the caller's to raise, with the batch's indices
            stop.set()
            future.set_exception(error)
            continue
        if result[2] is not None:
            stop.set()  # the caller raises that error: nothing more starts
        future.set_result(result)


class _Worker:
    """One thread as the pool sees it."""

    def __init__(self, stop: StopFlag) -> None:
        self.jobs: queue.SimpleQueue[_Job] = queue.SimpleQueue()
        self.thread = threading.Thread(target=_serve, args=(self.jobs, stop), name=THREAD_NAME, daemon=True)
        self.batch: Future[BatchResult] | None = None  # the batch it was given last

    def idle(self) -> bool:
        return self.batch is None or self.batch.done()


class ThreadPool:
    """Up to ``max_workers`` threads, each running one batch of commands at a time.

    Used from one thread, the caller's: the worker threads touch only their
    own queue of jobs, the futures and the stop flag.
    """

    def __init__(self, max_workers: int) -> None:
        self._max_workers = max_workers
        self._stop = StopFlag()
        self._workers: list[_Worker] = []
        self._waiting: collections.deque[tuple[Future[BatchResult], list[str]]] = collections.deque()

    def submit(self, batch: list[str]) -> Future[BatchResult]:
        """Queue ``batch``; it goes to a thread as soon as one is idle or may be started."""
        future: Future[BatchResult] = Future()
        self._waiting.append((future, batch))
        self._dispatch()
        return future

    def wait_any(self, futures: Collection[Future[BatchResult]]) -> set[Future[BatchResult]]:
        """Wait until one of ``futures`` (of this pool) is done; return those done.

        Ctrl-C interrupts the wait (KeyboardInterrupt).
        """
        while True:
            done = {future for future in futures if future.done()}
            if done:
                return done
            running = [worker.batch for worker in self._workers if worker.batch is not None]
            if not running:
                raise RuntimeError("compile_many: waiting for batches that no thread runs")
            wait(running, return_when=FIRST_COMPLETED)
            self._dispatch()

    def stop(self) -> None:
        """Start no further command: the waiting batches are cancelled, the running ones end early."""
        self._stop.set()
        while self._waiting:
            self._waiting.popleft()[0].cancel()

    def close(self) -> None:
        """Stop, wait for the commands that run, and end the threads."""
        self.stop()
        for worker in self._workers:
            worker.jobs.put(None)
        for worker in self._workers:
            worker.thread.join()

    def _dispatch(self) -> None:
        while self._waiting and not self._stop.is_set():
            worker = next((w for w in self._workers if w.idle()), None)
            if worker is None:
                if len(self._workers) >= self._max_workers:
                    return
                worker = self._start_worker()
                if worker is None:
                    return
            future, batch = self._waiting.popleft()
            if not future.set_running_or_notify_cancel():
                continue
            worker.batch = future
            worker.jobs.put((future, batch))

    def _start_worker(self) -> _Worker | None:
        worker = _Worker(self._stop)
        # The thread starts with Ctrl-C blocked, so that the signal goes to a
        # thread that can run Python's handler for it (received here, it
        # would not wake the caller waiting for the batches). A build started
        # here still gets it: a child starts with no signal blocked.
        mask = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        try:
            worker.thread.start()
        except RuntimeError:
            if not self._workers:
                raise
            # The system has no room for another thread: the threads there
            # are take the rest.
            self._max_workers = len(self._workers)
            return None
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, mask)
        self._workers.append(worker)
        return worker
