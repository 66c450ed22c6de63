#!/bin/sh
# Stand-in cargo that says it has started (standin_started.txt), waits for
# the file named by STANDIN_GO to appear, for a minute at most, and says it
# has finished (standin_done.txt): a build that only ends when someone else
# has run in the meantime.
: > standin_started.txt
i=0
while [ ! -e "$STANDIN_GO" ]; do
  i=$((i + 1))
  if [ "$i" -gt 600 ]; then
    printf 'nobody said go\n' >&2
    exit 1
  fi
  sleep 0.1
done
: > standin_done.txt
