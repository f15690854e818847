#!/usr/bin/env bash
# Shows agentcontroller at work, as an installer and an administrator would
# use it: start with the plug-in step on behalf of an installer, then stop
# by hand, then a failing start so the error-code file is written.
#
# Everything happens in a private mount namespace (tests/e2e/agent_ns.sh):
# /etc is an overlay (the demo writes /etc/vrxagent.ini there), /var is a
# scratch tmpfs, and nothing on this machine changes. Needs root for the
# namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib/common.sh

if [ "${1:-}" != "--inside" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "demo.sh: run as root (it needs a private mount namespace)" >&2; exit 1; }
  vrx_install_deps
  echo "Building..."
  vrx_build default >/dev/null
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cp -a examples/agent "$work/agent"
  tests/e2e/agent_ns.sh "$work" -- "$root/scripts/demo.sh" --inside "$work"
  exit
fi

work=$2
controller="$root/build/default/agent/agentcontroller"
errfile="$work/agentcontroller.err"

# run [--note TEXT] ARG...: runs the controller and shows what it did; the
# note follows the exit status.
run() {
  local note=""
  if [ "$1" = --note ]; then note=" ($2)"; shift 2; fi
  echo
  echo "\$ agentcontroller $*"
  set +e
  "$controller" "$@" > "$work/out" 2> "$work/err"
  local status=$?
  set -e
  [ -s "$work/out" ] && { printf '  stdout: '; cat "$work/out"; [ -n "$(tail -c1 "$work/out")" ] && echo " (no line end)"; }
  [ -s "$work/err" ] && sed 's/^/  stderr: /' "$work/err"
  echo "  exit status: $status$note"
  if [ -f "$errfile" ]; then echo "  error-code file holds: $(cat "$errfile")"; else echo "  error-code file: not written"; fi
}

# A fresh host with the agent installed: its ini file names the base
# directory (the sample agent from examples/agent), and the usual folders
# in the scratch /var. Every key the controller's check reads is given, so
# the trace shows no default taken for a missing one.
cat > /etc/vrxagent.ini <<INI
communication_type = 2
agentid = 0123
division = Demo
organization = NUV
trace_level = MIN
trace_size = 1048576
trace_files = 6
tcpip_port = 9510
msglog_size = 1048576
msglog_files = 6
agent_base_dir = $work/agent
zemlor_common_dir = /var/nuv/zemlor/common
max_cache_size = 2097152
unknown_files_enabled = y
agent_temp_dir = /tmp/ovka
INI
mkdir -p /var/log /var/run

echo "/etc/vrxagent.ini names the agent's base directory: $work/agent"
run "$errfile" start -i -p
run "$errfile" stop -u
echo
echo "What the sample agent was asked to do (/var/log/vrxagent-example.log):"
sed 's/^/  /' /var/log/vrxagent-example.log

echo
echo "Now the start script fails with exit code 58 (security-kit prerequisite missing):"
printf '#!/bin/sh\nexit 58\n' > "$work/agent/vrxagent.sh"
run --note "by design: installers read code 31 from the error-code file" "$errfile" start -i
echo
echo "The common log directory record the controller made: /etc/nuv/zemlor/common/cfg/log.properties"
echo "  $(cat /etc/nuv/zemlor/common/cfg/log.properties)"

# Where the trace went: the file, its size, and the last run's records as
# level and text (the records are XML; each run's records share a Process).
trace=/var/nuv/zemlor/common/QAG/logs/install/trace/traceAgentController.log
echo
echo "The controller's trace: $trace ($(stat -c %s "$trace") bytes, XML records)"
echo "The last run's records (level, text):"
last=$(grep -o '<Process>[0-9]*</Process>' "$trace" | tail -n 1)
awk -v last="$last" '
  /^<Trace/ { level = $0; sub(/^<Trace Level="/, "", level); sub(/".*/, "", level); text = "" }
  /<LogText>/ { text = $0; sub(/.*<!\[CDATA\[/, "", text); sub(/\]\]><\/LogText>.*/, "", text) }
  index($0, last) { printf "  %-5s %s\n", level, text }
' "$trace"
