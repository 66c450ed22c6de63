#!/bin/sh
# Stand-in cargo that runs until the file named by STANDIN_RELEASE appears,
# for a test that watches what the tool shows meanwhile; it gives up after
# about a minute, so that a test that never releases it cannot hang.
i=0
while [ ! -e "$STANDIN_RELEASE" ] && [ "$i" -lt 1200 ]; do
  sleep 0.05
  i=$((i + 1))
done
exit 0
