#!/bin/sh
# Sample application-server agent client: the controller asks it to shut
# down after the agent has stopped. Its exit code is not judged.
echo "APXAgentClient.sh: asked to $1" >> /var/log/vrxagent-example.log
exit 0
