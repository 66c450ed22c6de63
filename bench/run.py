"""Every benchmark workload of the compiler side by side with Python peers.

    PYTHONPATH=<build>/pkg python3 bench/run.py [--quick]

See bench/README.md for the workloads, the peers, the floor and how peak
memory is taken. Each workload runs in fresh worker processes (this script
started with --worker): one for the timings, where the compiler, the peers
and the floor take turns call by call so that a busy machine slows them
alike, and one for the compiler's peak memory.
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import workloads  # noqa: E402

WORKLOADS = ["typical", "deep", "candles", "broken", "artifact"]
TITLES = {
    "typical": "typical strategy, dry run",
    "deep": "deep strategy, dry run",
    "candles": "1M inline candles, dry run",
    "broken": "syntax error at end (envelope)",
    "artifact": "artifact_bytes",
}
# Calls per implementation: small workloads many times, large ones a few.
CALLS = {"typical": 2000, "deep": 200, "candles": 5, "broken": 5, "artifact": 5}


# ---------------------------------------------------------------- workers


def load_text(path: Path) -> str:
    data = path.read_bytes()
    text = data.decode("utf-8")
    del data
    return text


def fixed_file_sizes(compiler: Any, text: str) -> dict[str, int]:
    """Sizes of the project files that do not come from the request."""
    manifest = json.loads(compiler.command(text))["manifest"]
    return {
        f["path"]: f["bytes_len"]
        for f in manifest["files"]
        if f["path"] not in ("src/spec.json", "src/candles.json")
    }


def implementations(workload: str, paths: dict[str, Path]) -> dict[str, Callable[[], Any]]:
    import orjson
    import peers

    from lantor_compile import Compiler

    compiler = Compiler()
    if workload == "artifact":
        command = paths["artifact_cmd"].read_text()

        def artifact() -> None:
            response = compiler.command(command)
            assert '"handle"' in response, response
            compiler.command('{"cmd":"reset"}')  # keeps memory flat; a few µs

        path = str(paths["artifact"])
        return {"project": artifact, "floor": lambda: peers.read_and_hash(path)}

    text = load_text(paths[workload])
    if workload == "broken":

        def rejected() -> None:
            assert compiler.command(text).startswith('{"ok":false,"error":"invalid command envelope')

        return {
            "project": rejected,
            "json": lambda: peers.rejecting_peer(json.loads)(text),
            "orjson": lambda: peers.rejecting_peer(orjson.loads)(text),
        }

    fixed = fixed_file_sizes(compiler, text)
    json_peer, orjson_peer = peers.json_peer(fixed), peers.orjson_peer(fixed)
    floor = peers.hash_floor(peers.floor_pieces(text, fixed))

    def project() -> None:
        assert compiler.command(text).startswith('{"target"')

    return {
        "project": project,
        "json": lambda: json_peer(text),
        "orjson": lambda: orjson_peer(text),
        "floor": floor,
    }


def time_worker(workload: str, paths: dict[str, Path], calls: int) -> dict[str, Any]:
    impls = implementations(workload, paths)
    for fn in impls.values():  # warm up, and check each one works
        fn()
    times: dict[str, list[float]] = {name: [] for name in impls}
    for _ in range(calls):
        for name, fn in impls.items():
            start = time.perf_counter_ns()
            fn()
            times[name].append((time.perf_counter_ns() - start) / 1e3)
    return {name: statistics.median(t) for name, t in times.items()}


def rss_kb() -> int:
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def memory_worker(workload: str, paths: dict[str, Path]) -> dict[str, Any]:
    """Peak RSS of one compiler call above the process after import and after
    its input text is built."""
    from lantor_compile import Compiler

    compiler = Compiler()
    text = paths["artifact_cmd"].read_text() if workload == "artifact" else load_text(paths[workload])
    # Building the input can peak above what stays resident; start the peak
    # over from here where the kernel allows it.
    reset = True
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        reset = False
    baseline = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    resident = rss_kb()
    compiler.command(text)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    return {
        "baseline_kb": baseline,
        "resident_kb": resident,
        "peak_kb": peak,
        "peak_reset": reset,
        "input_bytes": len(text.encode()) if workload != "artifact" else paths["artifact"].stat().st_size,
    }


def worker(args: argparse.Namespace) -> None:
    paths = {k: Path(v) for k, v in json.loads(args.paths).items()}
    if args.worker == "time":
        result = time_worker(args.workload, paths, args.calls)
    else:
        result = memory_worker(args.workload, paths)
    print(json.dumps(result))


# ---------------------------------------------------------------- runner


def run_worker(kind: str, workload: str, paths: dict[str, Path], calls: int) -> dict[str, Any]:
    cmd = [
        sys.executable,
        str(Path(__file__).resolve()),
        "--worker",
        kind,
        "--workload",
        workload,
        "--paths",
        json.dumps({k: str(v) for k, v in paths.items()}),
        "--calls",
        str(calls),
    ]
    out = subprocess.run(cmd, check=True, capture_output=True, text=True, env=os.environ)
    result: dict[str, Any] = json.loads(out.stdout.strip().splitlines()[-1])
    return result


def fmt_time(us: float | None) -> str:
    if us is None:
        return "-"
    if us >= 1e6:
        return f"{us / 1e6:.2f} s"
    if us >= 1e3:
        return f"{us / 1e3:.1f} ms"
    return f"{us:.1f} us"


def fmt_size(n: int) -> str:
    if n >= 1e6:
        return f"{n / 1e6:.1f} MB"
    if n >= 1e3:
        return f"{n / 1e3:.1f} KB"
    return f"{n} B"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--worker", choices=["time", "memory"])
    parser.add_argument("--workload", choices=WORKLOADS)
    parser.add_argument("--paths")
    parser.add_argument("--calls", type=int, default=0)
    parser.add_argument(
        "--quick", action="store_true", help="fewer calls and 100,000 candles and a 32 MB file: a smoke run"
    )
    parser.add_argument("--only", nargs="*", choices=WORKLOADS, help="run only these workloads")
    parser.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    args = parser.parse_args()
    if args.worker:
        worker(args)
        return

    candles = 100_000 if args.quick else workloads.CANDLE_COUNT
    artifact = 32 * 1024 * 1024 if args.quick else workloads.ARTIFACT_SIZE
    rows = []
    with tempfile.TemporaryDirectory(prefix="lantor-bench-") as tmp:
        paths = workloads.prepare(Path(tmp), candles, artifact)
        for name in args.only or WORKLOADS:
            calls = max(3, CALLS[name] // 10) if args.quick else CALLS[name]
            t = run_worker("time", name, paths, calls)
            m = run_worker("memory", name, paths, 0)
            rows.append((name, t, m))
            print(f"{name}: done", file=sys.stderr)

    header = [
        "workload",
        "input",
        "project",
        "json+pydantic",
        "orjson+pydantic",
        "json/project",
        "orjson/project",
        "floor",
        "project/floor",
        "peak memory (x input)",
    ]
    table = []
    for name, t, m in rows:
        project = t["project"]
        peak_mb = max(0, m["peak_kb"] - m["baseline_kb"]) / 1024
        mem = f"{peak_mb:.1f} MB ({peak_mb * 1024 * 1024 / m['input_bytes']:.2f}x)"
        table.append(
            [
                TITLES[name],
                fmt_size(m["input_bytes"]),
                fmt_time(project),
                fmt_time(t.get("json")),
                fmt_time(t.get("orjson")),
                f"{t['json'] / project:.1f}x" if "json" in t else "-",
                f"{t['orjson'] / project:.1f}x" if "orjson" in t else "-",
                fmt_time(t.get("floor")),
                f"{project / t['floor']:.2f}x" if "floor" in t else "-",
                mem,
            ]
        )
    if args.markdown:
        print("| " + " | ".join(header) + " |")
        print("|" + "|".join("---" for _ in header) + "|")
        for row in table:
            print("| " + " | ".join(row) + " |")
    else:
        widths = [max(len(str(r[i])) for r in table + [header]) for i in range(len(header))]
        for row in [header] + table:
            print(
                "  ".join(
                    str(c).ljust(w) if i == 0 else str(c).rjust(w)
                    for i, (c, w) in enumerate(zip(row, widths, strict=True))
                )
            )
    print(
        "medians; ratios above 1 mean the project is faster (peer/project) or slower "
        "(project/floor); peak memory is the compiler call's peak RSS above the process "
        "after import and input",
        file=sys.stderr,
    )


if __name__ == "__main__":
    main()
