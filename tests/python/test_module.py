"""The Python surface of the native module: names, documentation, argument
handling, thread binding and deallocation."""

from __future__ import annotations

import functools
import gc
import importlib.metadata
import inspect
import pickle
import re
import sys
import threading
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest
from support import FREE_THREADED

import lantor_compile
from lantor_compile import Compiler, PanicException, _lantor_compile

VERSION_RESPONSE = '{"version":"0.1.2","backtest_dep":"0.1.5"}'
ENVELOPE = "[]"
ENVELOPE_ERROR = '{"ok":false,"error":"invalid command envelope: expected {\\"cmd\\":...}"}'
NOTE = "while processing 'cmd_json'"
SENT_TO_ANOTHER_THREAD = "_lantor_compile::PyCompiler is unsendable, but sent to another thread"
DROPPED_ON_ANOTHER_THREAD = (
    "_lantor_compile::PyCompiler is unsendable, but is being dropped on another thread"
)


def run_in_thread(function: Callable[[], Any]) -> tuple[Any, BaseException | None]:
    """Run ``function`` on a new thread; return its result or what it raised."""
    outcome: dict[str, Any] = {"result": None, "error": None}
    # Compilers left in reference cycles by earlier tests would otherwise be
    # freed whenever the cycle collector next runs, perhaps on the new thread,
    # which reports them as dropped on another thread.
    gc.collect()

    def target() -> None:
        try:
            outcome["result"] = function()
        except BaseException as error:  # the panic exception is not an Exception
            outcome["error"] = error

    thread = threading.Thread(target=target)
    thread.start()
    thread.join()
    return outcome["result"], outcome["error"]


# --- names and documentation -------------------------------------------------


@pytest.mark.parametrize(
    ("obj", "doc", "signature"),
    [
        (
            Compiler,
            "A compiler driven by JSON commands.\n\n"
            "`unsendable`: the handle holds a stateful build cache, so it is bound to the\n"
            "thread that created it.",
            "()",
        ),
        (
            Compiler.command,
            "Apply a command JSON and return the response JSON.\n\n"
            'Domain errors are reported in-band as `{"ok": false, "error": ...}` JSON,\n'
            "not raised.",
            "($self, cmd_json)",
        ),
        (_lantor_compile.version, "The library version.", "()"),
    ],
    ids=["Compiler", "command", "version"],
)
def test_docstrings_and_text_signatures(obj: Any, doc: str, signature: str) -> None:
    assert obj.__doc__ == doc
    assert obj.__text_signature__ == signature


def test_module_docstring() -> None:
    assert _lantor_compile.__doc__ == "The native module (`lantor_compile._lantor_compile`)."


def test_command_signature_has_one_named_parameter() -> None:
    parameters = list(inspect.signature(Compiler.command).parameters.values())
    assert [(p.name, p.kind) for p in parameters] == [
        ("self", inspect.Parameter.POSITIONAL_ONLY),
        ("cmd_json", inspect.Parameter.POSITIONAL_OR_KEYWORD),
    ]


def test_compiler_is_declared_without_a_module() -> None:
    assert Compiler.__module__ == "builtins"
    assert Compiler.__name__ == Compiler.__qualname__ == "Compiler"
    assert repr(Compiler) == "<class 'Compiler'>"


@pytest.mark.parametrize(
    ("use", "error", "message"),
    [
        (lambda c: c.nothing, AttributeError, "'Compiler' object has no attribute 'nothing'"),
        (lambda c: c(), TypeError, "'Compiler' object is not callable"),
        (
            lambda c: setattr(Compiler, "x", 1),
            TypeError,
            "cannot set 'x' attribute of immutable type 'Compiler'",
        ),
        (lambda c: pickle.dumps(c), TypeError, "cannot pickle 'Compiler' object"),
    ],
    ids=["attribute", "call", "class-attribute", "pickle"],
)
def test_interpreter_messages_name_the_class_bare(
    compiler: Compiler, use: Callable[[Compiler], Any], error: type, message: str
) -> None:
    # The interpreter quotes the type's C-level name in these; it must be the
    # bare class name, as in the class's repr. (No `as` binding: the exception
    # would hold this frame and the frame the exception, keeping the compiler
    # for the cycle collector, which may run on any thread.)
    with pytest.raises(error, match=f"^{re.escape(message)}$"):
        use(compiler)


def test_versions() -> None:
    assert _lantor_compile.version() == "0.1.2"
    assert _lantor_compile.__version__ == "0.1.2"
    assert lantor_compile.version() == lantor_compile.__version__ == "0.1.2"


def test_installed_metadata_gives_the_module_version() -> None:
    # The package metadata and the module take the version from one place.
    try:
        dist = importlib.metadata.distribution("lantor_compile")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("lantor_compile is imported from a build tree, not installed")
    installed = Path(str(dist.locate_file("lantor_compile/__init__.py"))).resolve()
    if installed != Path(lantor_compile.__file__).resolve():
        pytest.skip("the imported lantor_compile is not the installed one")
    assert dist.version == lantor_compile.__version__
    assert (installed.parent / "py.typed").is_file()


def test_package_re_exports_the_native_names_beside_its_own() -> None:
    native = ["Compiler", "PanicException", "StopFlag", "__version__", "version"]
    assert sorted(lantor_compile.__all__) == sorted(
        native + ["AsyncCompiler", "Diagnostic", "check", "command_async", "compile_many", "strategy_schema"]
    )
    for name in native:
        assert getattr(lantor_compile, name) is getattr(_lantor_compile, name)


def test_panic_exception_is_not_an_exception() -> None:
    assert issubclass(PanicException, BaseException)
    assert not issubclass(PanicException, Exception)
    # Named after where it can be imported from.
    assert PanicException.__module__ == "lantor_compile._lantor_compile"
    assert PanicException.__name__ == "PanicException"


# --- commands and arguments ----------------------------------------------------


def test_version_command_exact_text(compiler: Compiler) -> None:
    assert compiler.command('{"cmd":"version"}') == VERSION_RESPONSE


def test_keyword_and_positional_give_the_same_response(compiler: Compiler) -> None:
    text = '{"cmd":"targets"}'
    assert compiler.command(cmd_json=text) == compiler.command(text)


@pytest.mark.parametrize("text", ["", "   ", "not json", '{"cmd":5}'])
def test_bad_envelopes_answer_in_band(compiler: Compiler, text: str) -> None:
    assert compiler.command(text) == ENVELOPE_ERROR


@pytest.mark.parametrize("name", ["ünknown", "命令", "rocket 🚀", "Version"])
def test_non_ascii_text_round_trips(compiler: Compiler, name: str) -> None:
    # Non-ASCII (including a four-byte sequence) goes in as UTF-8 and comes
    # back out of the response unescaped.
    response = compiler.command('{"cmd":"' + name + '"}')
    assert response == '{"ok":false,"error":"unknown cmd: ' + name + '"}'


def test_str_subclass_is_accepted(compiler: Compiler) -> None:
    class Text(str):
        pass

    assert compiler.command(Text('{"cmd":"version"}')) == VERSION_RESPONSE
    assert compiler.command(cmd_json=Text('{"cmd":"version"}')) == VERSION_RESPONSE


@pytest.mark.parametrize(
    ("args", "kwargs", "message"),
    [
        ((), {}, "Compiler.command() missing 1 required positional argument: 'cmd_json'"),
        (("a", "b"), {}, "Compiler.command() takes 1 positional argument but 2 were given"),
        ((), {"cmd": "x"}, "Compiler.command() got an unexpected keyword argument 'cmd'"),
        (("a",), {"extra": 1}, "Compiler.command() got an unexpected keyword argument 'extra'"),
        (("a",), {"cmd_json": "b"}, "Compiler.command() got multiple values for argument 'cmd_json'"),
    ],
)
def test_argument_matching_errors(
    compiler: Compiler, args: tuple[Any, ...], kwargs: dict[str, Any], message: str
) -> None:
    with pytest.raises(TypeError) as caught:
        compiler.command(*args, **kwargs)
    assert str(caught.value) == message
    assert not getattr(caught.value, "__notes__", None)


@pytest.mark.parametrize(
    ("args", "message", "notes"),
    [
        (("{}",), "cmd_jsons must be a list or tuple of str, not str", None),
        (
            ([ENVELOPE, 3],),
            "'int' object is not an instance of 'str'",
            ["while processing item 1 of 'cmd_jsons'"],
        ),
        (([ENVELOPE], 1), "stop must be a StopFlag or None, not int", None),
        (
            ([], None, 3),
            "Compiler.command_batch_nogil() takes from 1 to 2 positional arguments but 3 were given",
            None,
        ),
    ],
    ids=["str", "item", "stop", "arity"],
)
def test_batch_argument_errors(
    compiler: Compiler, args: tuple[Any, ...], message: str, notes: list[str] | None
) -> None:
    with pytest.raises(TypeError) as caught:
        compiler.command_batch_nogil(*args)
    assert str(caught.value) == message
    assert getattr(caught.value, "__notes__", None) == notes
    # The instance is free again.
    assert compiler.command_batch_nogil((ENVELOPE, '{"cmd":"version"}')) == (
        [ENVELOPE_ERROR, VERSION_RESPONSE],
        None,
    )


@pytest.mark.parametrize(("args", "kwargs"), [((1,), {}), ((), {"x": 1}), ((None,), {})])
def test_constructor_takes_no_arguments(args: tuple[Any, ...], kwargs: dict[str, Any]) -> None:
    with pytest.raises(TypeError, match=r"^Compiler\(\) takes no arguments$"):
        Compiler(*args, **kwargs)


@pytest.mark.parametrize(
    ("value", "message"),
    [
        (b'{"cmd":"version"}', "'bytes' object is not an instance of 'str'"),
        (bytearray(b"{}"), "'bytearray' object is not an instance of 'str'"),
        (5, "'int' object is not an instance of 'str'"),
        (None, "'None' is not an instance of 'str'"),
    ],
)
def test_non_str_argument(compiler: Compiler, value: Any, message: str) -> None:
    calls: list[Callable[[], str]] = [
        lambda: compiler.command(value),
        lambda: compiler.command(cmd_json=value),
    ]
    for call in calls:
        with pytest.raises(TypeError) as caught:
            call()
        assert str(caught.value) == message
        assert caught.value.__notes__ == [NOTE]
    # The failed conversion released the instance.
    assert compiler.command('{"cmd":"version"}') == VERSION_RESPONSE


def test_lone_surrogate_raises_the_encoding_error(compiler: Compiler) -> None:
    with pytest.raises(UnicodeEncodeError) as caught:
        compiler.command('{"cmd":"\ud800"}')
    assert caught.value.encoding == "utf-8"
    assert caught.value.object == '{"cmd":"\ud800"}'
    assert (caught.value.start, caught.value.end) == (8, 9)
    assert caught.value.__notes__ == [NOTE]
    assert compiler.command('{"cmd":"version"}') == VERSION_RESPONSE


# --- thread binding ----------------------------------------------------------


def test_call_from_another_thread_panics(compiler: Compiler) -> None:
    assert compiler.command('{"cmd":"version"}') == VERSION_RESPONSE
    result, error = run_in_thread(lambda: compiler.command('{"cmd":"reset"}'))
    assert result is None
    assert isinstance(error, PanicException)
    assert isinstance(error, BaseException) and not isinstance(error, Exception)
    assert SENT_TO_ANOTHER_THREAD in str(error)
    # Still fully usable from its own thread.
    assert compiler.command('{"cmd":"version"}') == VERSION_RESPONSE
    assert compiler.command('{"cmd":"reset"}') == '{"ok":true}'


@pytest.mark.parametrize(
    ("args", "kwargs", "expected"),
    [
        # Arguments are matched before the thread is checked ...
        (("a", "b"), {}, TypeError),
        ((), {"other": "x"}, TypeError),
        # ... and the thread before the argument is converted.
        ((b"bytes",), {}, PanicException),
        (("\udc80",), {}, PanicException),
        ((None,), {}, PanicException),
    ],
)
def test_order_of_checks_on_another_thread(
    compiler: Compiler, args: tuple[Any, ...], kwargs: dict[str, Any], expected: type
) -> None:
    _, error = run_in_thread(lambda: compiler.command(*args, **kwargs))
    assert type(error) is expected


def test_instance_made_on_a_finished_thread_stays_bound_to_it() -> None:
    # Native thread identifiers are recycled after a join; the binding must
    # not let a new thread pass for the one that created the instance.
    made, error = run_in_thread(Compiler)
    assert error is None
    for _ in range(5):
        # A lambda, not a bound method: nothing but `made` may hold the instance,
        # so that deleting it below is what drops it.
        _, error = run_in_thread(lambda: made.command('{"cmd":"version"}'))  # noqa: F821 (deleted after the loop)
        assert isinstance(error, PanicException)
    # Dropping it here, on a thread that did not create it, is reported.
    with UnraisableCatcher() as caught:
        del made
    assert [str(u.exc_value) for u in caught.reports] == [DROPPED_ON_ANOTHER_THREAD]


def test_each_thread_can_use_its_own_instance() -> None:
    def work() -> str:
        return Compiler().command('{"cmd":"version"}')

    results = [run_in_thread(work) for _ in range(4)]
    assert results == [(VERSION_RESPONSE, None)] * 4


def test_artifact_handles_survive_a_foreign_call(tmp_path: Any, compiler: Compiler, call: Any) -> None:
    artifact = tmp_path / "artifact.bin"
    artifact.write_bytes(b"\x00\x01\x02")
    command = {"cmd": "artifact_bytes", "path": str(artifact)}
    first = call(compiler, command)
    if first.get("ok") is False and "not available" in first.get("error", ""):
        pytest.skip("artifact_bytes is not in this build yet")
    assert first["handle"] == 0
    for other in (command, {"cmd": "reset"}):
        _, error = run_in_thread(functools.partial(call, compiler, other))
        assert isinstance(error, PanicException)
    # Neither the read nor the reset from the other thread happened.
    assert call(compiler, command)["handle"] == 1


# --- deallocation ------------------------------------------------------------


class UnraisableCatcher:
    """Collects what reaches sys.unraisablehook inside a ``with`` block."""

    def __init__(self) -> None:
        self.reports: list[Any] = []

    def __enter__(self) -> UnraisableCatcher:
        self._previous = sys.unraisablehook
        sys.unraisablehook = self.reports.append
        return self

    def __exit__(self, *exc_info: object) -> None:
        sys.unraisablehook = self._previous


def test_drop_on_another_thread_is_reported() -> None:
    holder: list[Compiler] = [Compiler()]
    with UnraisableCatcher() as caught:
        _, error = run_in_thread(holder.clear)
    assert error is None
    if FREE_THREADED:
        # The interpreter hands the last reference of an object to the
        # thread that made it, while that thread runs, so the instance is
        # freed there, as it should be. A creator that has ended is the case
        # of test_instance_made_on_a_finished_thread_stays_bound_to_it.
        assert caught.reports == []
        return
    assert len(caught.reports) == 1
    report = caught.reports[0]
    assert report.exc_type is RuntimeError
    assert str(report.exc_value) == DROPPED_ON_ANOTHER_THREAD
    assert report.object is Compiler


def test_drop_on_own_thread_is_silent() -> None:
    with UnraisableCatcher() as caught:
        compiler = Compiler()
        compiler.command('{"cmd":"version"}')
        del compiler
        _, error = run_in_thread(lambda: Compiler().command('{"cmd":"reset"}'))
    assert error is None
    assert caught.reports == []
