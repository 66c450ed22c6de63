"""lantor_compile: a strategy compiler driven by JSON commands."""
