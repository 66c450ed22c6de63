"""The published JSON Schemas against the compiler, document by document; and
the generator that writes them from the compiler's own description.

Every document goes to three judges: the exact schema, the strict schema
(both through jsonschema's Draft202012Validator) and the compiler (a dry-run
compile with a crate name given, so that only the strategy is judged). The
exact schema must give the compiler's verdict, and the strict one may accept
only what the compiler accepts, except for the classes of documents that a
JSON Schema cannot tell apart (README, "Where a schema cannot follow the
compiler"); every disagreement must fall in one of them.

The documents: the examples, every strategy text that the C++ and Python
tests feed the compiler, placed wherever a strategy holds a value, and
Hypothesis documents, valid ones in every spelling and mutated ones.

Run as a script for the figures of a larger run:
    python tests/python/test_schema_agreement.py [EXAMPLES]
"""

from __future__ import annotations

import ast
import contextlib
import json
import re
import subprocess
import sys
from collections import Counter
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import document_model
import pytest
from gen_strategy_schema import SchemaWriter
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from jsonschema import Draft202012Validator
from jsonschema.exceptions import best_match
from jsonschema.validators import extend
from strategy_documents import authored_documents, documents, mutated
from support import I64_MIN, MINIMAL_STRATEGY, U64_MAX

from lantor_compile import Compiler, strategy_schema
from lantor_compile.schema import EXACT_FILE, STRICT_FILE, describe, strategy_schema_text

ROOT = Path(__file__).resolve().parents[2]

# A validator whose integer must be written as one: what a schema would say
# if JSON Schema kept the compiler's number kinds.
_KindedValidator = extend(  # type: ignore[no-untyped-call]  # jsonschema leaves it untyped
    Draft202012Validator,
    type_checker=Draft202012Validator.TYPE_CHECKER.redefine(
        "integer", lambda _, v: isinstance(v, int) and not isinstance(v, bool)
    ),
)

BAD_SPEC = "bad spec: strategy is not a valid StrategySpec: "

# The tally's kinds: agreement, and the classes a schema cannot express.
ACCEPTED = "accepted by all three"
STRICT_REJECTS = "accepted, but not by strict"
REJECTED = "rejected by all three"
WHOLE_FLOAT = "whole number written as a float"
# Texts that the compiler's JSON reader refuses before any shape is checked
# ("bad compile request: ..."), by the reader's message.
READER_LIMITS = {
    "recursion limit exceeded": "reader: nesting too deep",
    "number out of range": "reader: number beyond binary64",
    "lone leading surrogate in hex escape": "reader: lone surrogate escape",
    "unexpected end of hex escape": "reader: lone surrogate escape",
}


def _kinded_int(text: str) -> int | float:
    """An integer literal as the compiler reads it: -0 and integers beyond
    the 64-bit ranges are floats."""
    value = int(text)
    if text == "-0" or not I64_MIN <= value <= U64_MAX:
        return float(value)
    return value


class Judge:
    """The three judges, and the tally of their verdicts by source and kind.
    The schemas default to the shipped ones."""

    def __init__(self, exact: dict[str, Any] | None = None, strict: dict[str, Any] | None = None) -> None:
        exact = exact or strategy_schema()
        self.exact = Draft202012Validator(exact)
        self.exact_kinded = _KindedValidator(exact)
        self.strict = Draft202012Validator(strict or strategy_schema(strict=True))
        self.compiler = Compiler()
        self.tally: Counter[tuple[str, str]] = Counter()

    def compile(self, text: str) -> str | bool:
        """True if the compiler accepts the strategy `text`, False if it
        rejects it as a strategy, otherwise the error it gave."""
        command = (
            '{"cmd":"compile","dry_run":true,"spec":{"crate_name":"agreement",'
            '"target":{"kind":"binary"},"strategy":' + text + "}}"
        )
        response = json.loads(self.compiler.command(command))
        if response.get("ok") is not False:
            return True
        error: str = response["error"]
        return False if error.startswith(BAD_SPEC) else error

    def judge(self, source: str, text: str, strict_always: bool = True) -> str | bool:
        """Records the verdicts on one strategy text and returns the
        compiler's; fails on a disagreement that no class explains.

        The strict schema accepts a subset of what the exact one accepts (it
        only drops spellings and members of other names), which the generated
        documents check on every document; with `strict_always` off, the
        strict verdict is taken only where the exact schema accepts."""
        compiled = self.compile(text)
        if isinstance(compiled, str):
            cls = next((c for k, c in READER_LIMITS.items() if k in compiled), None)
            assert cls is not None, f"{compiled}\n{text}"
            self.tally[source, cls] += 1
            return compiled
        value = json.loads(text)
        exact = self.exact.is_valid(value)
        strict = (exact or strict_always) and self.strict.is_valid(value)
        assert exact or not strict, f"strict accepts what exact rejects:\n{text}"
        if exact == compiled:
            self.tally[source, ACCEPTED if strict else STRICT_REJECTS if compiled else REJECTED] += 1
            return compiled
        # The schema accepts what the compiler rejects; the only class that
        # does so is a count written as a float.
        kinded = json.loads(text, parse_int=_kinded_int)
        assert not compiled and not self.exact_kinded.is_valid(kinded), (
            f"schema {'accepts' if exact else 'rejects'}, strict "
            f"{'accepts' if strict else 'rejects'}, compiler "
            f"{'accepts' if compiled else 'rejects'}:\n{text}"
        )
        self.tally[source, WHOLE_FLOAT] += 1
        return compiled


# ---------------------------------------------------------------------------
# The test suite's strategy texts


def _cpp_literals(source: str) -> Iterator[str]:
    """The string literals of a C++ source: raw ones as they stand, plain
    ones with only \\" and \\\\ escapes (any other escape skips the literal)."""
    raw = re.compile(r'R"\((.*?)\)"', re.S)
    yield from (m.group(1) for m in raw.finditer(source))
    for m in re.finditer(r'"((?:[^"\\\n]|\\.)*)"', raw.sub("", source)):
        body = m.group(1)
        if not re.search(r'\\[^"\\]', body):
            yield body.replace('\\"', '"').replace("\\\\", "\\")


def _python_literals(source: str) -> Iterator[str]:
    """String constants and literal dicts and lists of a Python source, as JSON text."""
    for node in ast.walk(ast.parse(source)):
        if isinstance(node, ast.Constant) and isinstance(node.value, str):
            yield node.value
        elif isinstance(node, (ast.Dict, ast.List)):
            with contextlib.suppress(ValueError, TypeError, SyntaxError):
                yield json.dumps(ast.literal_eval(node))


def _no_constant(name: str) -> Any:
    raise ValueError(name)


def _json_texts(texts: Iterator[str]) -> Iterator[str]:
    """The texts that are JSON: no NaN or Infinity, no lone surrogates."""
    for text in texts:
        try:
            value = json.loads(text, parse_constant=_no_constant)
            json.dumps(value, ensure_ascii=False).encode("utf-8")
        except (ValueError, RecursionError):
            continue
        yield text


def _strategies_in_commands(text: str) -> Iterator[str]:
    value = json.loads(text)
    if isinstance(value, dict) and isinstance(value.get("spec"), dict) and "strategy" in value["spec"]:
        yield json.dumps(value["spec"]["strategy"])


def collect_test_suite_texts() -> list[str]:
    """The JSON texts of the tests: the C++ strategy tests' fragments and the
    Python tests' literals as they stand, and the strategies inside every
    test's commands."""
    texts: dict[str, None] = {}
    for path in sorted((ROOT / "tests" / "cpp").rglob("*.cpp")):
        for text in _json_texts(_cpp_literals(path.read_text(encoding="utf-8"))):
            if path.parent.name == "strategy":
                texts[text] = None
            texts.update(dict.fromkeys(_json_texts(_strategies_in_commands(text))))
    for path in sorted((ROOT / "tests" / "python").glob("*.py")):
        for text in _json_texts(_python_literals(path.read_text(encoding="utf-8"))):
            texts[text] = None
            texts.update(dict.fromkeys(_json_texts(_strategies_in_commands(text))))
    return list(texts)


MINIMAL_MEMBERS = {k: json.dumps(v) for k, v in MINIMAL_STRATEGY.items()}
# Where a fragment goes: the member of the minimal document it replaces, and
# the text around it there. Every member of its own type is a place (not
# timeframe, exit and short_exit, typed as symbol, entry and short_entry).
SLOTS = {
    **{
        member: (member, "%s")
        for member in (
            "spec_version",
            "symbol",
            "ref_symbol",
            "indicators",
            "entry",
            "short_entry",
            "sizing",
            "costs",
            "risk",
            "execution",
            "warmup",
        )
    },
    "indicator": ("indicators", '{"x":%s}'),
    "feed": ("indicators", '{"x":{"type":"ema","feed":%s}}'),
    "operand": ("entry", '{"gt":[%s,0]}'),
    "bars_since_entry": ("entry", '{"bars_since_entry":%s}'),
    "slippage": ("costs", '{"slippage":%s}'),
    "order_type": ("execution", '{"order_type":%s}'),
}


def placements(fragment: str) -> Iterator[str]:
    """The fragment as a whole document and as the value of every member and
    of the places inside members where a fragment of a test stands."""
    yield fragment
    for member, around in SLOTS.values():
        yield document_with(member, around.replace("%s", fragment))


# ---------------------------------------------------------------------------


def test_both_flavours_are_valid_draft_2020_12_with_ids_of_their_own() -> None:
    for flavour in (False, True):
        Draft202012Validator.check_schema(strategy_schema(strict=flavour))
    assert strategy_schema()["$id"] != strategy_schema(strict=True)["$id"]


def test_installed_schemas_and_reference_pages_are_what_the_generator_writes() -> None:
    done = subprocess.run(
        [sys.executable, str(ROOT / "tools" / "gen_strategy_schema.py"), "--check"],
        capture_output=True,
        text=True,
        check=False,
        timeout=120,
    )
    assert done.returncode == 0, done.stderr
    package = ROOT / "python" / "lantor_compile"
    for strict, name in ((False, EXACT_FILE), (True, STRICT_FILE)):
        assert strategy_schema_text(strict=strict) == (package / name).read_text(encoding="utf-8")


def _type(description: dict[str, Any], name: str) -> dict[str, Any]:
    found: dict[str, Any] = next(t for t in description["strategy"] if t["name"] == name)
    return found


def _member(description: dict[str, Any], type_name: str, member: str) -> dict[str, Any]:
    found: dict[str, Any] = next(m for m in _type(description, type_name)["members"] if m["name"] == member)
    return found


def _add_member(d: dict[str, Any]) -> None:
    _type(d, "Risk")["members"].append({"name": "stop", "type": "f64?", "required": False, "default": None})


def _drop_member(d: dict[str, Any]) -> None:
    _type(d, "Risk")["members"].pop()


def _drop_default(d: dict[str, Any]) -> None:
    del _member(d, "Execution", "latency_bars")["default"]


def _rename_type(d: dict[str, Any]) -> None:
    _type(d, "FillTiming")["name"] = "Fill"


@pytest.mark.parametrize(
    ("change", "problem"),
    [
        (_add_member, "Risk: no words for stop"),
        (_drop_member, "Risk: words for liquidation, which it does not have"),
        (_drop_default, "Execution.latency_bars: optional, with no default"),
        (_rename_type, "FillTiming: words for a type the compiler does not have"),
    ],
)
def test_words_must_name_what_the_compiler_has(change: Any, problem: str) -> None:
    description = describe()
    change(description)
    with pytest.raises(document_model.WordsMismatch, match=re.escape(problem)):
        document_model.document(description)


@pytest.mark.parametrize(
    ("type_name", "member", "wrong_type", "value"),
    [("Execution", "latency_bars", "f64", 1.5), ("StrategySpec", "symbol", "string?", None)],
)
def test_a_wrong_type_in_the_description_makes_the_schema_disagree(
    type_name: str, member: str, wrong_type: str, value: Any
) -> None:
    description = describe()
    _member(description, type_name, member)["type"] = wrong_type
    exact = SchemaWriter(document_model.document(description), strict=False).schema()
    document = dict(MINIMAL_STRATEGY)
    if type_name == "StrategySpec":
        document[member] = value
    else:
        document[type_name.lower()] = {member: value}
    with pytest.raises(AssertionError, match="schema accepts"):
        Judge(exact=exact).judge("planted", json.dumps(document))


@pytest.mark.parametrize(
    ("member", "value", "misspelt"),
    [
        ("sizing", {"type": "fixed_fractoin", "fraction": 0.1}, "fixed_fractoin"),
        ("costs", {"slippage": {"type": "spraed", "bps": 1}}, "spraed"),
    ],
)
def test_the_strict_schema_names_a_misspelt_type(member: str, value: Any, misspelt: str) -> None:
    errors = Draft202012Validator(strategy_schema(strict=True)).iter_errors(
        {**MINIMAL_STRATEGY, member: value}
    )
    error = best_match(errors)
    assert error is not None and error.message.startswith(repr(misspelt) + " is not one of")
    assert list(error.absolute_path)[-1] == "type"


def test_the_described_request_choices_are_the_compilers() -> None:
    request = describe()["request"]
    compiler = Compiler()
    targets = json.loads(compiler.command('{"cmd":"targets"}'))
    assert (request["target_kinds"], request["mcus"]) == (targets["targets"], targets["mcus"])
    unknown_level = json.loads(
        compiler.command(
            json.dumps(
                {
                    "cmd": "compile",
                    "dry_run": True,
                    "spec": {"strategy": MINIMAL_STRATEGY, "target": {"kind": "binary"}, "opt_level": "fast"},
                }
            )
        )
    )
    listed = "`, `".join(request["opt_levels"])
    assert f"expected one of `{listed}`" in unknown_level["error"]
    assert request["default_opt_level"] in request["opt_levels"]


def judge_corpus(judge: Judge) -> tuple[int, int]:
    """Judges the examples and the tests' texts in every placement; returns
    how many of each there were."""
    examples = sorted((ROOT / "examples").glob("*.json"))
    for path in examples:
        judge.judge("examples", path.read_text(encoding="utf-8"))
    texts = collect_test_suite_texts()
    for text in texts:
        for placed in placements(text):
            judge.judge("test-suite texts", placed, strict_always=False)
    return len(examples), len(texts)


def document_with(member: str, value: str) -> str:
    members = {**MINIMAL_MEMBERS, member: value}
    return "{" + ",".join(f"{json.dumps(k)}:{v}" for k, v in members.items()) + "}"


# One document of each class, and repeated member names, which a schema does
# not see but which agree as long as the last value wins.
CLASS_EXAMPLES = [
    (document_with("warmup", "20.0"), WHOLE_FLOAT),
    (document_with("entry", '{"rising":["ema",2e1]}'), WHOLE_FLOAT),
    (document_with("spec_version", "-0"), WHOLE_FLOAT),
    (
        document_with("entry", '{"not":' * 130 + '{"in_position":true}' + "}" * 130),
        READER_LIMITS["recursion limit exceeded"],
    ),
    (document_with("warmup", "1e400"), READER_LIMITS["number out of range"]),
    (document_with("symbol", '"\\ud800"'), READER_LIMITS["unexpected end of hex escape"]),
    ('{"symbol":5,' + document_with("symbol", '"A"')[1:], ACCEPTED),
    ('{"symbol":"A",' + document_with("symbol", "5")[1:], REJECTED),
    # What the strict schema flags and the compiler passes over.
    (document_with("sizng", "{}"), STRICT_REJECTS),
    (document_with("costs", '{"maker_bp":1}'), STRICT_REJECTS),
    (document_with("sizing", '{"type":"fixed_qty","qty":1,"fraction":0.5}'), STRICT_REJECTS),
    (document_with("indicators", '{"x":["ema",[12]]}'), STRICT_REJECTS),
]


@pytest.mark.parametrize(("text", "kind"), CLASS_EXAMPLES)
def test_each_class_has_its_example(text: str, kind: str) -> None:
    judge = Judge()
    judge.judge("class", text)
    assert judge.tally == Counter({("class", kind): 1})


def test_examples_and_the_test_suites_strategy_texts() -> None:
    judge = Judge()
    examples, texts = judge_corpus(judge)
    assert judge.tally["examples", ACCEPTED] + judge.tally["examples", STRICT_REJECTS] == examples
    assert texts > 300, "the collection of the tests' texts came back nearly empty"
    print_tally(judge.tally)


SOURCES = {
    "valid": documents,
    "valid, objects only": authored_documents,
    "mutated": mutated(documents),
    "mutated, objects only": mutated(authored_documents),
}


def judge_generated(judge: Judge, max_examples: int, derandomize: bool) -> None:
    @settings(
        max_examples=max_examples,
        derandomize=derandomize,
        deadline=None,
        suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
    )
    @given(st.sampled_from(list(SOURCES)), st.data())
    def run(source: str, data: st.DataObject) -> None:
        # Drawn by name: one_of would weigh the sources by their own breadth.
        compiled = judge.judge(source, json.dumps(data.draw(SOURCES[source])))
        assert compiled is True or source.startswith("mutated"), "a valid document was rejected"

    run()


def test_generated_documents() -> None:
    judge = Judge()
    judge_generated(judge, max_examples=2000, derandomize=True)
    # Every valid document in the strict forms passes the strict schema.
    assert judge.tally["valid, objects only", STRICT_REJECTS] == 0
    for source in ("valid", "valid, objects only", "mutated", "mutated, objects only"):
        assert sum(n for (s, _), n in judge.tally.items() if s == source) > 300
    assert judge.tally["mutated", REJECTED] > 100
    print_tally(judge.tally)


def print_tally(tally: Counter[tuple[str, str]]) -> None:
    for (source, kind), n in sorted(tally.items()):
        print(f"{source:22} {kind:34} {n:7}")


if __name__ == "__main__":
    figures = Judge()
    judge_corpus(figures)
    judge_generated(figures, int(sys.argv[1]) if len(sys.argv) > 1 else 20000, derandomize=False)
    print_tally(figures.tally)
