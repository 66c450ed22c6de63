#!/bin/sh
# Stand-in cargo that writes the file named by STANDIN_STDERR to standard error
# and exits with STANDIN_EXIT.
cat "$STANDIN_STDERR" >&2
exit "${STANDIN_EXIT:-1}"
