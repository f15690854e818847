#!/bin/bash
# Runs a command in a private mount namespace that looks like a host with
# the agent installed, without changing the real host:
#   /etc      an overlay on the host's /etc; writes land in WORK/etc.upper,
#             and WORK/etc.seed (when present) is copied in first
#   /var      an empty tmpfs (of E2E_VAR_SIZE, e.g. "8m", when set), or
#             WORK/var when that folder exists
#   /usr/sbin WORK/sbin, when that folder exists (the fake agent lives there)
#
#   agent_ns.sh WORK -- COMMAND [ARG...]
#
# For tests of how a program copes with a hostile start, the command can be
# started with SIGCHLD ignored (E2E_IGNORE_SIGCHLD=1) or with standard output
# closed (E2E_CLOSE_STDOUT=1). These are set here, right before the command,
# because the shells in between would otherwise undo them.
#
# Exits with the command's status, or 125 when the namespace cannot be made
# (with the reason on standard error).
set -u
die() { echo "agent_ns.sh: $*" >&2; exit 125; }

[ $# -ge 3 ] && [ "$2" = "--" ] || die "usage: agent_ns.sh WORK -- COMMAND [ARG...]"
work=$1
shift 2

if [ -z "${AGENT_NS_INSIDE:-}" ]; then
  command -v unshare >/dev/null || die "unshare not found (package util-linux)"
  AGENT_NS_INSIDE=1 exec unshare -m --propagation private "$0" "$work" -- "$@"
  die "cannot run unshare"
fi
unset AGENT_NS_INSIDE

mkdir -p "$work/etc.upper" "$work/etc.work" || die "cannot prepare $work"
mount -t overlay overlay \
  -o "lowerdir=/etc,upperdir=$work/etc.upper,workdir=$work/etc.work" /etc ||
  die "cannot mount an overlay on /etc"
if [ -d "$work/etc.seed" ]; then
  cp -a "$work/etc.seed/." /etc/ || die "cannot seed /etc"
fi
if [ -d "$work/var" ]; then
  mount --bind "$work/var" /var || die "cannot bind $work/var on /var"
else
  mount -t tmpfs -o "mode=0755${E2E_VAR_SIZE:+,size=$E2E_VAR_SIZE}" tmpfs /var ||
    die "cannot mount a tmpfs on /var"
fi
if [ -d "$work/sbin" ]; then
  mount --bind "$work/sbin" /usr/sbin || die "cannot bind $work/sbin on /usr/sbin"
fi
ignore_sigchld=${E2E_IGNORE_SIGCHLD:-}
close_stdout=${E2E_CLOSE_STDOUT:-}
unset E2E_IGNORE_SIGCHLD E2E_CLOSE_STDOUT E2E_VAR_SIZE
[ -n "$ignore_sigchld" ] && trap '' CHLD
[ -n "$close_stdout" ] && exec 1>&-
exec "$@"
