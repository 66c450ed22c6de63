"""What ``lantor-compile`` shows on a terminal while cargo runs: a spinner for
one build, a bar for several, each with the time since it started.

Both are tqdm bars, which draw only on a terminal (``disable=None``) and
take themselves off the screen when they close. A bar redraws only when it
is told to, so a thread redraws it every :data:`TICK` seconds: the elapsed
time keeps running while the build gives no news. That thread can run while
the builds do because they run without the interpreter lock.
"""

from __future__ import annotations

import sys
import threading
from collections.abc import Iterator
from contextlib import contextmanager
from typing import Any

from tqdm import tqdm

TICK = 0.1
FRAMES = "|/-\\"


def progress_bar(total: int, quiet: bool) -> tqdm[Any]:
    """The bar of a run of ``total`` strategies, on standard error when it is a terminal."""
    return tqdm(
        total=total,
        file=sys.stderr,
        unit="strategy",
        disable=True if quiet else None,
        dynamic_ncols=True,
    )


def spinner(text: str, quiet: bool) -> tqdm[Any]:
    """A spinner with ``text`` and the elapsed time, on standard error when it is a terminal."""
    return tqdm(
        desc=f"{FRAMES[0]} {text}",
        bar_format="{desc} {elapsed}",
        file=sys.stderr,
        disable=True if quiet else None,
        leave=False,
        dynamic_ncols=True,
    )


@contextmanager
def ticking(bar: tqdm[Any], spin: str | None = None) -> Iterator[None]:
    """Redraw ``bar`` every :data:`TICK` seconds while the block runs.

    With ``spin``, the bar is a spinner: each redraw shows the next frame
    before that text.
    """
    if bar.disable:
        yield
        return
    stop = threading.Event()

    def tick() -> None:
        frame = 0
        while not stop.wait(TICK):
            if spin is not None:
                frame = (frame + 1) % len(FRAMES)
                bar.set_description_str(f"{FRAMES[frame]} {spin}", refresh=False)
            bar.refresh()

    thread = threading.Thread(target=tick, name="lantor-compile progress", daemon=True)
    thread.start()
    try:
        yield
    finally:
        stop.set()
        thread.join()
