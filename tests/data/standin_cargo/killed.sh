#!/bin/sh
# Stand-in cargo that dies by a signal after writing a diagnostic.
printf 'about to die\n' >&2
kill -KILL $$
