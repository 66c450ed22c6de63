"""The lsp subcommand where the lsp extra is missing: it says how to install it."""

from __future__ import annotations

import subprocess
import sys


def test_the_command_says_how_to_install_what_it_lacks() -> None:
    blocked = "import sys; sys.modules['pygls'] = None\nfrom lantor_compile.cli import main\nsys.exit(main(['lsp']))"
    run = subprocess.run(
        [sys.executable, "-c", blocked], capture_output=True, text=True, timeout=120, check=False
    )
    assert run.returncode == 2
    assert "pip install 'lantor_compile[lsp]'" in run.stderr
