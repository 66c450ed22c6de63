"""compile_many: many commands on worker threads or any executor give the
responses of one compiler running them one after the other, byte for byte."""

from __future__ import annotations

import json
import threading
from collections.abc import Callable, Iterator
from concurrent.futures import Executor, Future, ProcessPoolExecutor, ThreadPoolExecutor
from contextlib import contextmanager
from pathlib import Path
from typing import Any

import pytest
from support import TARGETS

from lantor_compile import Compiler, compile_many
from lantor_compile.thread_pool import THREAD_NAME

EXAMPLES = sorted((Path(__file__).resolve().parents[2] / "examples").glob("*.json"))


def commands() -> list[str | dict[str, Any]]:
    """Dry runs of every example for every target, as text and as dicts, and a few errors."""
    out: list[str | dict[str, Any]] = []
    for example in EXAMPLES:
        text = example.read_text(encoding="utf-8")
        for target in TARGETS:
            spec = '{"strategy":' + text + ',"target":' + json.dumps(target) + "}"
            out.append('{"cmd":"compile","spec":' + spec + ',"dry_run":true}')
        spec_dict = {"strategy": json.loads(text), "target": {"kind": "wasm"}}
        out.append({"cmd": "compile", "spec": spec_dict, "dry_run": True})
    out += ['{"cmd":"compile"}', "not json", {"cmd": "targets"}, '{"cmd":"version"}']
    return out


@contextmanager
def dask_executor() -> Iterator[Executor]:
    distributed = pytest.importorskip("distributed")
    # Thread workers start in a fraction of a second on a small machine; two
    # of them also check that every thread keeps a compiler of its own.
    with (
        distributed.LocalCluster(
            n_workers=2, threads_per_worker=1, processes=False, dashboard_address=None
        ) as cluster,
        distributed.Client(cluster) as client,
    ):
        yield client.get_executor()


@contextmanager
def no_executor() -> Iterator[None]:
    yield None


@pytest.mark.parametrize(
    "make_executor",
    [no_executor, lambda: ProcessPoolExecutor(2), lambda: ThreadPoolExecutor(3), dask_executor],
    ids=["default-threads", "process-pool", "thread-pool", "dask"],
)
def test_responses_are_those_of_the_sequential_run(make_executor: Callable[[], Any]) -> None:
    sent = commands() * 4  # enough for the batches to grow past one command
    compiler = Compiler()
    expected = [compiler.command(c if isinstance(c, str) else json.dumps(c)) for c in sent]
    with make_executor() as executor:
        got = list(compile_many(sent, executor=executor, max_workers=2))
    assert sorted(index for index, _ in got) == list(range(len(sent)))
    assert dict(got) == dict(enumerate(expected))


def test_a_lazy_iterable_is_consumed_as_the_work_goes() -> None:
    taken = []

    def generated() -> Iterator[str]:
        for i in range(1000):
            taken.append(i)
            yield '{"cmd":"version"}'

    results = compile_many(generated(), max_workers=1)
    next(results)
    assert len(taken) < 1000
    results.close()


def workers() -> list[threading.Thread]:
    return [thread for thread in threading.enumerate() if thread.name == THREAD_NAME]


def test_closing_early_ends_the_worker_threads() -> None:
    results = compile_many(['{"cmd":"version"}'] * 500, max_workers=2)
    next(results)
    assert workers()
    results.close()
    assert workers() == []


class FailingExecutor(Executor):
    """An executor whose every call fails, like one that lost its workers."""

    def submit(self, fn: Callable[..., Any], /, *args: Any, **kwargs: Any) -> Future[Any]:
        future: Future[Any] = Future()
        future.set_exception(ConnectionError("the cluster went away"))
        return future


@pytest.mark.parametrize(
    ("call", "error", "message"),
    [
        (
            lambda: list(compile_many(['{"cmd":"version"}'], executor=FailingExecutor())),
            ConnectionError,
            "the cluster went away",
        ),
        (lambda: compile_many([], max_workers=0), ValueError, "max_workers"),
        (lambda: compile_many('{"cmd":"version"}'), TypeError, "not one str"),
    ],
    ids=["executor-failure", "no-workers", "one-str"],
)
def test_errors_are_raised(call: Callable[[], object], error: type[BaseException], message: str) -> None:
    with pytest.raises(error, match=message):
        call()


VERSION = '{"cmd":"version"}'


@pytest.mark.parametrize(
    ("bad", "error", "message"),
    [
        (7, TypeError, "command 50 is int"),
        ({"cmd": "version", "tags": {"a"}}, TypeError, "set is not JSON serializable"),
        ('{"cmd":"version","x":"\udc80"}', UnicodeEncodeError, "surrogates not allowed"),
    ],
    ids=["not-a-command", "dict-holding-a-set", "lone-surrogate"],
)
def test_a_command_that_cannot_be_sent_raises_after_every_command_before_it(
    bad: object, error: type[BaseException], message: str
) -> None:
    sent = [VERSION] * 50 + [bad] + [VERSION] * 50
    got = []
    with pytest.raises(error, match=message) as raised:
        for index, response in compile_many(sent, max_workers=1):  # type: ignore[arg-type]
            got.append(index)
            assert response == Compiler().command(VERSION)
    assert sorted(got) == list(range(50))
    assert "compile_many could not send command 50" in raised.value.__notes__


BOOM = '{"cmd":"version","boom":true}'


class RaisingExecutor(Executor):
    """Runs each batch at once, its command BOOM raising as one can in a worker."""

    def submit(self, fn: Callable[..., Any], /, *args: Any, **kwargs: Any) -> Future[Any]:
        responses, seconds, error = fn(*args, **kwargs)
        batch: list[str] = args[0]
        if BOOM in batch:
            responses, error = responses[: batch.index(BOOM)], MemoryError("out of memory")
        future: Future[Any] = Future()
        future.set_result((responses, seconds, error))
        return future


def test_a_command_that_raises_is_named_after_the_responses_before_it() -> None:
    got = []
    with pytest.raises(MemoryError) as raised:
        for index, _ in compile_many([VERSION] * 30 + [BOOM] + [VERSION] * 30, executor=RaisingExecutor()):
            got.append(index)
    assert set(range(30)) <= set(got) and 30 not in got
    assert "raised by command 30 of compile_many" in raised.value.__notes__
