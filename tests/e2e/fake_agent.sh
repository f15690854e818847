#!/bin/sh
# Stands in for one of the agent's commands (vrxagent.sh, vrxagent,
# apxagent/APXAgentClient.sh). It appends "<path as called> <arguments>" to
# the file named by E2E_CALLS and ends as the file "<its own path>.<first
# argument>.rc", or else "<its own path>.rc", says: a number is the exit
# code; "signal N" kills the command (and the shell that ran it) with signal
# N. Without either file it exits 0.
#
# It also records its LD_LIBRARY_PATH in "$E2E_CALLS.env", and prints on
# both standard streams: none of that may reach the controller's output.
printf '%s %s\n' "$0" "$*" >> "${E2E_CALLS:-/dev/null}"
printf '[%s]\n' "${LD_LIBRARY_PATH-unset}" >> "${E2E_CALLS:-/dev/null}.env"
echo "fake agent output on stdout"
echo "fake agent output on stderr" >&2
how=0
if [ -f "$0.$1.rc" ]; then how=$(cat "$0.$1.rc")
elif [ -f "$0.rc" ]; then how=$(cat "$0.rc")
fi
case "$how" in
  signal\ *) kill -"${how#signal }" "$PPID" "$$" ;;
esac
exit "$how"
