"""Test data shared by several test files."""

from __future__ import annotations

import sysconfig
from typing import Any

from hypothesis import strategies as st

# A free-threaded interpreter (built with --disable-gil) runs these tests.
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))

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

U64_MAX = 2**64 - 1
I64_MIN = -(2**63)

# Random JSON values, with integers on both sides of the 64-bit ranges (the
# compiler reads those beyond them as floats) and any UTF-8 text.
json_texts = st.text(st.characters(codec="utf-8"), max_size=12)
json_scalars = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(min_value=I64_MIN, max_value=U64_MAX),
    st.integers(min_value=-(10**30), max_value=10**30),
    st.sampled_from([0, U64_MAX, U64_MAX + 1, I64_MIN, I64_MIN - 1, 2**53 + 1]),
    st.floats(allow_nan=False, allow_infinity=False),
    json_texts,
)
json_values = st.recursive(
    json_scalars,
    lambda inner: st.one_of(
        st.lists(inner, max_size=4),
        st.dictionaries(json_texts, inner, max_size=4),
    ),
    max_leaves=20,
)
