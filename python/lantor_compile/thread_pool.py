"""The worker threads of :func:`lantor_compile.compile_many`.

:class:`ThreadPool` starts a thread only when a batch of commands finds none
idle, up to its limit. Each thread keeps one :class:`Compiler` for all its
batches, created and dropped on that thread, and runs a batch with
``Compiler.command_batch_nogil``, which releases the interpreter lock for
the whole batch: the threads compile at the same time, and nothing is
pickled or copied between processes. A :class:`StopFlag` shared by the
threads is read before each command, so once the pool is stopped no further
command starts, also in the middle of a batch.

Ctrl-C needs one more rule. Python runs its handler in the caller's thread,
some time after the signal arrived, while a terminal's Ctrl-C also stops the
builds at once: a thread whose build it stopped could start the next build
before the caller's thread has run the handler and stopped the pool, and
that build, which never saw the signal, would run to its end. So a batch
that may start a build (it ends with such a command) is handed out by the
caller's thread, to a thread that is idle, and only then: the caller's
thread runs the handler before it hands out anything more. Batches of quick
commands (dry runs) wait in a queue that any idle thread takes from.

The caller's thread takes part too: while it waits for a result, it runs
a batch of quick commands from the queue itself, with a compiler of its own,
so that the commands of a pool of ``max_workers`` share ``max_workers``
CPUs among ``max_workers - 1`` threads and the caller's. A thread is started
for a batch of quick commands only while there are fewer than that; for a
batch that may build, while there are fewer than ``max_workers``: builds run
on the pool's threads only, as the rule above needs.

The threads are daemon threads: a pool that was never closed does not keep
the interpreter from exiting, and a build still running then ends with the
process (a child's parent-death signal follows the thread that started it).
"""

from __future__ import annotations

import collections
import functools
import signal
import threading
import time
from collections.abc import Callable, Collection
from concurrent.futures import Future
from typing import TypeAlias

from ._lantor_compile import Compiler, StopFlag

# What running a batch gives: the responses of its first commands, in order,
# how long they took, and the exception raised by the command after the last
# response, if one raised. A batch that was stopped has fewer responses than
# commands and no exception.
BatchResult: TypeAlias = "tuple[list[str], float, BaseException | None]"

# The name of every worker thread.
THREAD_NAME = "lantor_compile worker"

# A batch and where its result goes.
_Job: TypeAlias = "tuple[Future[BatchResult], list[str]]"


def run_batch(compiler: Compiler, commands: list[str], stop: StopFlag | None = None) -> BatchResult:
    """Run ``commands`` one after the other until one raises or ``stop`` is set."""
    started = time.perf_counter()
    responses, error = compiler.command_batch_nogil(commands, stop)
    return responses, time.perf_counter() - started, error


class _Worker:
    """One thread as the pool sees it."""

    def __init__(self) -> None:
        self.thread: threading.Thread | None = None
        self.given: _Job | None = None  # a batch the caller handed to this thread
        # Ready for a batch: waiting for one, or not yet started (a thread
        # starts for a batch that no idle thread would take).
        self.idle = True


class ThreadPool:
    """Up to ``max_workers`` threads, each running one batch of commands at a time.

    ``submit``, ``wait_any``, ``stop`` and ``close`` are called from one
    thread, the caller's. Everything the threads share with it is guarded by
    one lock, with a condition for each side to wait on: the threads for a
    batch, the caller for a result or an idle thread.
    """

    def __init__(self, max_workers: int) -> None:
        self._max_workers = max_workers
        self._stop = StopFlag()
        lock = threading.Lock()
        self._for_work = threading.Condition(lock)
        self._for_caller = threading.Condition(lock)
        self._quick: collections.deque[_Job] = collections.deque()  # any idle thread takes these
        self._held: collections.deque[_Job] = collections.deque()  # handed out by the caller
        self._workers: list[_Worker] = []
        self._closing = False
        self._compiler: list[Compiler] = []  # the caller's thread's, for the batches it runs

    def submit(self, batch: list[str], may_build: bool = False) -> Future[BatchResult]:
        """Queue ``batch``; it starts as soon as a thread is idle or may be started.

        ``may_build``: the batch may start a build, so only the caller hands it out.
        """
        future: Future[BatchResult] = Future()
        with self._for_work:
            if may_build:
                self._held.append((future, batch))
            else:
                self._quick.append((future, batch))
                self._for_work.notify()
            self._hand_out()
        return future

    def wait_any(self, futures: Collection[Future[BatchResult]]) -> set[Future[BatchResult]]:
        """Wait until one of ``futures`` (of this pool) is done; return those done.

        Ctrl-C interrupts the wait (KeyboardInterrupt).
        """
        while True:
            with self._for_caller:
                self._hand_out()
                done = {future for future in futures if future.done()}
                if done:
                    return done
                job = self._quick.popleft() if self._quick else None
                if job is None:
                    self._for_caller.wait()
                    continue
            # Rather than wait, the caller's thread runs a batch itself.
            future, batch = job
            if future.set_running_or_notify_cancel():
                self._run(future, batch, self._compiler)()

    def stop(self) -> None:
        """Start no further command: the waiting batches are cancelled, the running ones end early."""
        self._stop.set()
        with self._for_work:
            for waiting in (self._quick, self._held):
                while waiting:
                    waiting.popleft()[0].cancel()
            for worker in self._workers:
                if worker.given is not None:
                    worker.given[0].cancel()
                    worker.given = None

    def close(self) -> None:
        """Stop, wait for the commands that run, and end the threads."""
        self.stop()
        with self._for_work:
            self._closing = True
            self._for_work.notify_all()
        for worker in self._workers:
            if worker.thread is not None:
                worker.thread.join()
        self._compiler.clear()

    def _hand_out(self) -> None:
        """Give held batches to idle threads, and start threads for the batches no idle one takes."""
        if self._stop.is_set():
            return
        for worker in self._workers:
            if not self._held:
                break
            if worker.idle and worker.given is None:
                worker.given = self._held.popleft()
                self._for_work.notify_all()  # the one it is for among them
        idle = sum(worker.idle and worker.given is None for worker in self._workers)
        unstarted = len(self._quick) - idle
        while len(self._workers) < self._max_workers and (
            self._held or (unstarted > 0 and len(self._workers) < self._max_workers - 1)
        ):
            worker = _Worker()
            if self._held:
                worker.given = self._held.popleft()
            else:
                unstarted -= 1
            if not self._start(worker):
                if worker.given is not None:
                    self._held.appendleft(worker.given)
                break

    def _start(self, worker: _Worker) -> bool:
        """Start ``worker``'s thread; False when the system has no room for another."""
        worker.thread = threading.Thread(target=self._serve, args=(worker,), name=THREAD_NAME, daemon=True)
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
            # The threads there are take the rest.
            self._max_workers = len(self._workers)
            return False
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, mask)
        self._workers.append(worker)
        return True

    def _next(self, worker: _Worker, finish: Callable[[], None] | None) -> _Job | None:
        """The next batch for ``worker``'s thread, waiting for one; None once the pool closes.

        ``finish`` reports the batch the thread ran before, in the same hold
        of the lock that marks the thread idle, so that the caller, woken by
        that report, finds the thread idle and can hand it a held batch.
        """
        with self._for_work:
            if finish is not None:
                finish()
                self._for_caller.notify()
            while True:
                job = worker.given or (self._quick.popleft() if self._quick else None)
                worker.given = None
                if job is not None:
                    worker.idle = False
                    return job
                if self._closing:
                    return None
                if not worker.idle:
                    worker.idle = True
                    if self._held:
                        self._for_caller.notify()  # which has a batch for it
                self._for_work.wait()

    def _serve(self, worker: _Worker) -> None:
        """A thread's life: run each batch it gets until the pool closes."""
        compiler: list[Compiler] = []
        finish: Callable[[], None] | None = None
        while (job := self._next(worker, finish)) is not None:
            future, batch = job
            finish = None
            if future.set_running_or_notify_cancel():
                finish = self._run(future, batch, compiler)

    def _run(
        self, future: Future[BatchResult], batch: list[str], compiler: list[Compiler]
    ) -> Callable[[], None]:
        """Run ``batch`` on this thread; return what settles ``future`` with its outcome.

        ``compiler`` holds this thread's compiler once the first batch has created it.
        """
        try:
            if not compiler:
                compiler.append(Compiler())
            result = run_batch(compiler[0], batch, self._stop)
        except BaseException as error:  # the caller's to raise, with the batch's indices
            self._stop.set()
            return functools.partial(future.set_exception, error)
        if result[2] is not None:
            self._stop.set()  # the caller raises that error: nothing more starts
        return functools.partial(future.set_result, result)
