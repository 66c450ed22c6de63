#!/bin/sh
# Stand-in cargo that records how it was started, into its working directory.
printf '%s\n' "$@" > standin_args.txt
pwd -P > standin_cwd.txt
readlink /proc/self/fd/0 > standin_stdin_target.txt
cat > standin_stdin.txt
# The listing process opens one descriptor of its own for the directory.
ls /proc/self/fd > standin_fds.txt
printf '%s\n' "${LANTOR_TEST_SEEN-}" > standin_env.txt
if [ -e .cargo/config.toml ]; then echo yes; else echo no; fi > standin_config_exists.txt
exit 0
