"""The worker threads of :func:`lantor_compile.compile_many`.

:class:`ThreadPool` starts a thread only when a batch of commands finds none
idle, up to its limit. Each thread keeps one :class:`Compiler` for all its
batches, created and dropped on that thread, and runs a batch with
``Compiler.command_batch_nogil``, which releases the interpreter lock for
the whole batch: the threads compile at the same time, and nothing is
pickled or copied between processes. A :class:`StopFlag` shared by the
threads is read before each command, so once the pool is stopped no further
command starts, also in the middle of a batch.

The threads are daemon threads: a pool that was never closed does not keep
the interpreter from exiting, and a build still running then ends with the
process (a child's parent-death signal follows the thread that started it).
"""

from __future__ import annotations

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


class ThreadPool:
    """Up to ``max_workers`` threads, each running one batch of commands at a time."""

    def __init__(self, max_workers: int) -> None:
        self._max_workers = max_workers
        self._stop = StopFlag()
        self._jobs: queue.SimpleQueue[_Job] = queue.SimpleQueue()
        self._threads: list[threading.Thread] = []
        self._lock = threading.Lock()
        # Batches handed over that no thread has taken yet, and threads
        # waiting for one: a thread starts when the first outnumber the second.
        self._queued = 0
        self._idle = 0

    def submit(self, batch: list[str]) -> Future[BatchResult]:
        """Queue ``batch``; a thread takes it as soon as one is idle or may be started."""
        future: Future[BatchResult] = Future()
        with self._lock:
            self._queued += 1
            if self._queued > self._idle and len(self._threads) < self._max_workers:
                self._start_thread()
        self._jobs.put((future, batch))
        return future

    def wait_any(self, futures: Collection[Future[BatchResult]]) -> set[Future[BatchResult]]:
        """Wait until one of ``futures`` is done; return those done (Ctrl-C interrupts the wait)."""
        return wait(futures, return_when=FIRST_COMPLETED).done

    def stop(self) -> None:
        """Start no further command: the queued batches are cancelled, the running ones end early."""
        self._stop.set()

    def close(self) -> None:
        """Stop, wait for the commands that run, and end the threads."""
        self.stop()
        with self._lock:
            threads = list(self._threads)
        for _ in threads:
            self._jobs.put(None)
        for thread in threads:
            thread.join()

    def _start_thread(self) -> None:
        thread = threading.Thread(target=self._serve, name=THREAD_NAME, daemon=True)
        # The thread starts with Ctrl-C blocked, so that the signal goes to the
        # main thread, the one that runs Python's handler for it: received
        # here, it would leave a main thread that waits for the batches
        # waiting on. A build started here still gets it: a child starts with
        # no signal blocked.
        mask = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        try:
            thread.start()
        except RuntimeError:
            if not self._threads:
                raise
            # The system has no room for another thread: the threads there
            # are take the rest.
            self._max_workers = len(self._threads)
            return
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, mask)
        self._threads.append(thread)

    def _serve(self) -> None:
        """A thread's life: run each batch it takes until told to end."""
        compiler: Compiler | None = None
        while True:
            with self._lock:
                self._idle += 1
            job = self._jobs.get()
            with self._lock:
                self._idle -= 1
                self._queued -= job is not None
            if job is None:
                return
            future, batch = job
            if self._stop.is_set():
                future.cancel()
            if not future.set_running_or_notify_cancel():
                continue
            try:
                if compiler is None:
                    compiler = Compiler()
                future.set_result(run_batch(compiler, batch, self._stop))
            except BaseException as error:  # the caller's to raise, with the batch's indices
                future.set_exception(error)
