#!/bin/sh
# Stand-in cargo that floods standard error and then standard output, well
# past what a pipe buffers, before it fails. A parent that reads one stream
# to its end before the other stalls here.
head -c 300000 /dev/zero | tr '\0' 'e' >&2
head -c 1500000 /dev/zero | tr '\0' 'o'
printf 'the end' >&2
exit 3
