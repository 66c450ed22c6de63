"""Run the command-line tool as ``python -m lantor_compile``."""

from .cli import main

raise SystemExit(main())
