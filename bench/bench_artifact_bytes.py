"""artifact_bytes on a 256 MB file against hashlib.sha256 over the same bytes.

Run with the package on the path, for example
    PYTHONPATH=build-reader-rel/pkg python3 bench/bench_artifact_bytes.py
The target is artifact_bytes within 1.3x of reading and hashing in Python.
"""

import hashlib
import json
import os
import sys
import tempfile
import time
from collections.abc import Callable
from typing import Any, TypeVar

from lantor_compile import Compiler

SIZE = 256 * 1024 * 1024
RUNS = 3
T = TypeVar("T")


def python_read_and_hash(path: str) -> tuple[int, str]:
    with open(path, "rb") as f:
        data = f.read()
    return len(data), hashlib.sha256(data).hexdigest()


def best(fn: Callable[[], T], runs: int) -> tuple[float, T]:
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - start)
    return min(times), result


def main() -> int:
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "artifact.bin")
        with open(path, "wb") as f:
            chunk = os.urandom(1024 * 1024)
            for _ in range(SIZE // len(chunk)):
                f.write(chunk)

        compiler = Compiler()
        command = json.dumps({"cmd": "artifact_bytes", "path": path})

        def lantor() -> dict[str, Any]:
            response: dict[str, Any] = json.loads(compiler.command(command))
            compiler.command('{"cmd":"reset"}')  # keep memory flat between runs
            return response

        # Warm the page cache once so both sides read from memory.
        python_read_and_hash(path)
        t_py, (length, digest) = best(lambda: python_read_and_hash(path), RUNS)
        t_lt, response = best(lantor, RUNS)

        if response.get("len") != length or response.get("sha256") != digest:
            print("mismatch:", response, length, digest)
            return 1
        mb = SIZE / 1e6
        print(f"hashlib:        {t_py * 1e3:8.1f} ms  ({mb / t_py:6.0f} MB/s)")
        print(f"artifact_bytes: {t_lt * 1e3:8.1f} ms  ({mb / t_lt:6.0f} MB/s)")
        print(f"ratio: {t_lt / t_py:.2f} (target <= 1.3)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
