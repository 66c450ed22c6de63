"""Pages whose text lives beside the code rather than under docs/.

ARCHITECTURE.md, CONTRIBUTING.md and bench/README.md are read where they are
kept, so the site never holds a second copy that could drift. Their links to
each other name files at the repository root; on the site they lead to the
pages that show those files.
"""

from __future__ import annotations

from pathlib import Path
from typing import Any

ROOT = Path(__file__).resolve().parents[2]

# docs page -> the file it shows, relative to the repository root.
SHOWN = {
    "architecture.md": "ARCHITECTURE.md",
    "contributing.md": "CONTRIBUTING.md",
    "benchmarks.md": "bench/README.md",
}


def on_page_markdown(markdown: str, page: Any, **_: Any) -> str:
    source = SHOWN.get(page.file.src_uri)
    if source is None:
        return markdown
    text = (ROOT / source).read_text(encoding="utf-8")
    # Links into docs/ lead to the pages themselves.
    text = text.replace("](docs/", "](")
    for page_name, shown in SHOWN.items():
        text = text.replace(f"]({shown})", f"]({page_name})").replace(f"]({shown}#", f"]({page_name}#")
    return text
