#!/bin/sh
# Sample agent start script for the demo: it only says what it was asked to
# do. -g starts the agent, -p issues the plug-in command. The controller runs
# it with standard output closed, so it writes to a log of its own.
log=/var/log/vrxagent-example.log
state=/var/run/vrxagent-example.running
case "$1" in
  -g) echo "vrxagent.sh: asked to start the agent" >> "$log"
      mkdir -p /var/run && date > "$state"
      exit 0 ;;
  -p) echo "vrxagent.sh: asked to issue the plug-in command" >> "$log"
      exit 0 ;;
  *)  echo "vrxagent.sh: unknown request '$1'" >> "$log"
      exit 2 ;;
esac
