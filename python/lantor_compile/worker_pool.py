"""The worker processes of :func:`lantor_compile.compile_many`.

:class:`WorkerPool` starts a process only when a batch of commands finds
none idle, up to its limit, and hands each process one batch at a time: the
batches that wait stay in this process, so none of them starts once the pool
is stopped. Each worker keeps one :class:`Compiler` for all its commands and
checks before each command whether the pool was stopped.

Workers die with the process that started them. Each holds the read end of a
pipe whose only write end stays here, and has the kernel send it SIGKILL when
that pipe reports end of file, which happens when this process ends in any
way. A signal is needed because a command holds its worker's interpreter
lock for its whole run (a cargo build, say), so no Python code of the worker
runs until it ends.
"""

from __future__ import annotations

import collections
import fcntl
import multiprocessing
import multiprocessing.util
import os
import pickle
import signal
import time
import weakref
from collections.abc import Callable, Collection
from concurrent.futures import Future
from concurrent.futures.process import BrokenProcessPool
from multiprocessing.connection import Connection, wait
from multiprocessing.process import BaseProcess
from typing import Any, TypeAlias

from ._lantor_compile import Compiler

# What running a batch gives: the responses of its first commands, in order,
# how long they took, and the exception raised by the command after the last
# response, if one raised. A batch that was stopped has fewer responses than
# commands and no exception.
BatchResult: TypeAlias = "tuple[list[str], float, Exception | None]"

# The pool's shared flag, which the workers read before each command.
_RUNNING = 0
_STOPPED = 1
_INTERRUPTED = 2  # Ctrl-C reached a worker

# The ends of the pipes that only this process may hold. A process forked
# from this one (a worker, or any other) closes its copies at once: a worker
# holding another's write end would keep that one alive after this process.
_parent_ends: weakref.WeakSet[Connection] = weakref.WeakSet()


def _forget_parent_ends() -> None:
    for end in list(_parent_ends):
        end.close()
    _parent_ends.clear()


os.register_at_fork(after_in_child=_forget_parent_ends)


def run_batch(compiler: Compiler, commands: list[str], stopped: Callable[[], bool]) -> BatchResult:
    """Run ``commands`` one after the other until one raises or ``stopped()`` says so."""
    responses = []
    failure = None
    started = time.perf_counter()
    for text in commands:
        if stopped():
            break
        try:
            responses.append(compiler.command(text))
        except Exception as error:
            failure = _portable(error)
            break
    return responses, time.perf_counter() - started, failure


def _portable(error: Exception) -> Exception:
    """``error``, or a RuntimeError that says the same where it would not survive pickling."""
    try:
        pickle.loads(pickle.dumps(error))
    except Exception:
        return RuntimeError(f"{type(error).__name__}: {error}")
    return error


class _Worker:
    """One worker process as the pool sees it."""

    def __init__(self, process: BaseProcess, conn: Connection, lifeline: Connection) -> None:
        self.process = process
        self.conn = conn
        self.lifeline = lifeline
        self.batch: Future[BatchResult] | None = None  # the batch it runs


class WorkerPool:
    """Up to ``max_workers`` processes, each running one batch of commands at a time."""

    def __init__(self, max_workers: int) -> None:
        self._context = multiprocessing.get_context()
        self._max_workers = max_workers
        self._flag: Any = self._context.RawValue("b", _RUNNING)
        self._workers: list[_Worker] = []
        self._waiting: collections.deque[tuple[Future[BatchResult], list[str]]] = collections.deque()
        # Also run at interpreter exit, so that a pool nobody closed does not
        # leave multiprocessing waiting there for workers that wait for work.
        self._finalizer = multiprocessing.util.Finalize(
            self, _shut_down, args=(self._workers, self._flag, os.getpid()), exitpriority=10
        )

    @property
    def interrupted(self) -> bool:
        """Whether Ctrl-C reached one of the workers."""
        return bool(self._flag.value == _INTERRUPTED)

    def submit(self, batch: list[str]) -> Future[BatchResult]:
        """Queue ``batch``; it goes to a worker as soon as one is idle or may be started."""
        future: Future[BatchResult] = Future()
        self._waiting.append((future, batch))
        self._dispatch()
        return future

    def wait_any(self, futures: Collection[Future[BatchResult]]) -> set[Future[BatchResult]]:
        """Wait until one of ``futures`` (of this pool) is done; return those done.

        Raises KeyboardInterrupt when Ctrl-C reached a worker.
        """
        while True:
            if self.interrupted:
                raise KeyboardInterrupt
            done = {future for future in futures if future.done()}
            if done:
                return done
            busy = {worker.conn: worker for worker in self._workers if worker.batch is not None}
            if not busy:
                raise RuntimeError("compile_many: waiting for batches that no worker runs")
            for conn in wait(list(busy)):
                self._collect(busy[conn])  # type: ignore[index]
            self._dispatch()

    def stop(self) -> None:
        """Start no further command: the waiting batches are cancelled, the running ones end early."""
        if self._flag.value == _RUNNING:
            self._flag.value = _STOPPED
        while self._waiting:
            self._waiting.popleft()[0].cancel()

    def close(self) -> None:
        """Stop, wait for the commands that run, and end the workers."""
        self.stop()
        while busy := {worker.conn: worker for worker in self._workers if worker.batch is not None}:
            for conn in wait(list(busy)):
                self._collect(busy[conn])  # type: ignore[index]
        self._finalizer()

    def _dispatch(self) -> None:
        while self._waiting and self._flag.value == _RUNNING:
            worker = next((w for w in self._workers if w.batch is None), None)
            if worker is None:
                if len(self._workers) >= self._max_workers:
                    return
                try:
                    worker = self._start_worker()
                except OSError:
                    if not self._workers:
                        raise
                    # The system has no room for another process (EAGAIN,
                    # ENOMEM): the workers there are take the rest.
                    self._max_workers = len(self._workers)
                    return
            future, batch = self._waiting.popleft()
            if not future.set_running_or_notify_cancel():
                continue
            worker.batch = future
            try:
                worker.conn.send(batch)
            except OSError:
                self._lose(worker)

    def _start_worker(self) -> _Worker:
        conn, child_conn = self._context.Pipe()
        lifeline_read, lifeline = self._context.Pipe(duplex=False)
        _parent_ends.update((conn, lifeline))
        process = self._context.Process(
            target=_worker_main, args=(child_conn, lifeline_read, self._flag), name="lantor_compile worker"
        )
        # Ctrl-C waits until the worker has its own handler (it unblocks the
        # signal then), so that it never dies of it while starting.
        mask = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        try:
            process.start()
        except BaseException:
            conn.close()
            lifeline.close()
            raise
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, mask)
            child_conn.close()
            lifeline_read.close()
        worker = _Worker(process, conn, lifeline)
        self._workers.append(worker)
        return worker

    def _collect(self, worker: _Worker) -> None:
        """Read the reply of ``worker``, whose pipe is readable: its batch's result, or its end."""
        try:
            result: BatchResult = worker.conn.recv()
        except (EOFError, OSError):
            self._lose(worker)
            return
        future, worker.batch = worker.batch, None
        if result[2] is not None:
            self.stop()  # the caller raises that error: nothing more starts
        if future is not None:
            future.set_result(result)

    def _lose(self, worker: _Worker) -> None:
        """Forget a worker that ended on its own; its batch fails, and nothing more starts."""
        self.stop()
        self._workers.remove(worker)
        worker.conn.close()
        worker.lifeline.close()  # kills it if it still runs
        worker.process.join()
        if worker.batch is not None:
            code = worker.process.exitcode
            how = f"killed by {signal.Signals(-code).name}" if code and code < 0 else f"exit status {code}"
            worker.batch.set_exception(BrokenProcessPool(f"a worker process of compile_many ended ({how})"))


def _shut_down(workers: list[_Worker], flag: Any, owner: int) -> None:
    """End every worker: each exits once its pipe closes (after its command, if one runs)."""
    if os.getpid() != owner:  # A copy of the pool in a forked process: the workers are not its own.
        return
    if flag.value == _RUNNING:
        flag.value = _STOPPED
    for worker in workers:
        worker.conn.close()
    for worker in workers:
        worker.process.join()
        worker.lifeline.close()
    workers.clear()


# In a worker: the pool's flag, which its Ctrl-C handler sets.
_worker_flag: Any = None


def _worker_main(conn: Connection, lifeline: Connection, flag: Any) -> None:
    """A worker's life: run each batch that arrives until the pipe closes."""
    global _worker_flag
    _worker_flag = flag
    _die_with_parent(lifeline)
    signal.signal(signal.SIGINT, _note_interrupt)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT})
    compiler = Compiler()
    while True:
        try:
            batch: list[str] = conn.recv()
        except (EOFError, OSError):
            return
        try:
            conn.send(run_batch(compiler, batch, lambda: bool(flag.value != _RUNNING)))
        except OSError:  # The pool stopped listening: it is shutting down.
            return


def _die_with_parent(lifeline: Connection) -> None:
    """Have the kernel kill this process when the pool's process ends."""
    fd = lifeline.fileno()
    try:
        fcntl.fcntl(fd, fcntl.F_SETOWN, os.getpid())
        fcntl.fcntl(fd, fcntl.F_SETSIG, signal.SIGKILL)
        fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) | os.O_ASYNC)
    except (AttributeError, OSError):
        pass  # Not Linux: the worker ends when its pipe closes, between batches.
    if lifeline.poll():  # The pool's process ended before the watch was set.
        os._exit(1)


def _note_interrupt(signum: int, frame: object) -> None:
    """Ctrl-C in a worker: no command of the pool starts any more, and the caller hears of it.

    The terminal sends the signal to the whole process group: a cargo that
    the worker runs stops, as a program started from a process that handles a
    signal gets the default action for it, and the caller gets
    KeyboardInterrupt. Sent to this worker alone, it stops the pool just the
    same. The command running when it arrives ends first.
    """
    _worker_flag.value = _INTERRUPTED
