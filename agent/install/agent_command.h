/*
 * The agent's service commands: start, stop and plug-in, run through the
 * shell from the agent's base directory and judged by their exit codes.
 */
#ifndef AGENT_COMMAND_H
#define AGENT_COMMAND_H

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define AGENT_CMD_DONE 0
#define AGENT_CMD_NOT_INSTALLED 1
#define AGENT_CMD_FAILED 2
#define AGENT_CMD_MISSING_PREREQ 3 /* start only */

/* Each takes the base directory, ending in "/". */
int startService(const char *baseDirectory);
int stopService(const char *baseDirectory);
int pluginAgent(const char *baseDirectory);

#ifdef __cplusplus
}

#include <string>

/* The shell command for one agent file: the path in double quotes, a blank
 * and the argument word. Inside the quotes the shell still interprets $, `,
 * \ and ", so each of them gets a backslash; a path without them gives the
 * text "\"%s\" %s" exactly. */
std::string buildAgentCommand(const std::string &filePath, const char *word);
#endif

#endif /* AGENT_COMMAND_H */
