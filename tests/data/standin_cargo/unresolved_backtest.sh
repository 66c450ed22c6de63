#!/bin/sh
# Stand-in cargo that fails as cargo does when no registry it can reach serves
# lantor-backtest (a machine without the [patch.crates-io] entry that points
# at a local checkout): the text cargo 1.95 prints for the project it was
# started in.
crate=$(sed -n 's/^name = "\(.*\)"$/\1/p' Cargo.toml | head -n 1)
version=$(sed -n 's/^version = "\(.*\)"$/\1/p' Cargo.toml | head -n 1)
printf '    Updating crates.io index\n' >&2
printf 'error: no matching package named `lantor-backtest` found\n' >&2
printf 'location searched: crates.io index\n' >&2
printf 'required by package `%s v%s (%s)`\n' "$crate" "$version" "$(pwd -P)" >&2
exit 101
