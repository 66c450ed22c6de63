#!/bin/sh
# Stand-in cargo that writes to both streams and succeeds.
head -c 1100000 /dev/zero | tr '\0' 'o'
printf 'warning: something\n' >&2
exit 0
