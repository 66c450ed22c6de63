#!/bin/sh
# Stand-in cargo that records its process id in standin_pid.txt and then
# waits, as a long build does, for two minutes at most.
printf '%s\n' "$$" > standin_pid.txt.new
mv standin_pid.txt.new standin_pid.txt
exec sleep 120
