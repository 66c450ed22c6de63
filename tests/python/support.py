"""Test data shared by several test files."""

from __future__ import annotations

from typing import Any

# The smallest valid strategy: the six required members and nothing else.
MINIMAL_STRATEGY: dict[str, Any] = {
    "symbol": "BTC-USDT",
    "timeframe": "1h",
    "indicators": {},
    "entry": {"in_position": False},
    "exit": {"in_position": True},
    "sizing": {"type": "fixed_qty", "qty": 1},
}

# The allow-listed microcontroller triples, in the order `targets` lists them.
MCUS = [
    "thumbv6m-none-eabi",
    "thumbv7m-none-eabi",
    "thumbv7em-none-eabi",
    "thumbv7em-none-eabihf",
    "thumbv8m.main-none-eabi",
    "thumbv8m.main-none-eabihf",
    "riscv32imac-unknown-none-elf",
]

# Every target a compile can name.
TARGETS: list[dict[str, str]] = [{"kind": "wasm"}, {"kind": "binary"}] + [
    {"kind": "no_std", "mcu": m} for m in MCUS
]
