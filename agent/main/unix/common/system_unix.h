/*
 * The agent's child processes: a registry of the children started, a
 * run-and-wait call through the shell, a start connected to pipes, the
 * collection of exit statuses (waiting on a child directly, or a reaper the
 * embedding program calls when children end), a shutdown that kills what is
 * still running, and process and environment queries.
 */
#ifndef SLM_SYSTEM_UNIX_H
#define SLM_SYSTEM_UNIX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Start flags. */
#define SLM_DETACH_PROCESS 1u /* new session; nobody waits for it */
#define SLM_KEEP_STOPPED 2u   /* leave a stopped child stopped instead of killing it */
#define SLM_WAIT_DIRECT 8u    /* the caller waits on the child's pid itself */
#define SLM_NO_SHELL 16u      /* run without the shell, split into words */
#define SLM_NO_WAIT 32u       /* register and return at once */
#define SLM_LISTED 64u        /* the record is registered already */

/* Most words SLM_NO_SHELL splits a command into. */
#define SLM_MAX_WORDS 100

/* One child. The caller keeps one; the registry keeps its own copy. */
typedef struct slm_child {
    int32_t pid;
    int32_t done;     /* 1 once the final status was collected */
    uint32_t flags;   /* start flags */
    int32_t abnormal; /* 1 when it ended by a signal */
    int32_t code;     /* exit code; or the signal number, or -1 */
} slm_child;

/* A directory of shared libraries that children whose command names it get
 * as LD_LIBRARY_PATH. Empty unless the embedding program fills it; an empty
 * text occurs in every command, so then every child gets an empty
 * LD_LIBRARY_PATH. */
extern char INXcfgDir[1024];

/* 0 on success, -1 on failure. */
int slm_system_init(void);
/* Kills the children nobody waits on directly and disables the layer. */
void slm_system_shutdown(void);

/* Runs `command` with "/bin/sh -c" in `directory` (when given) and waits.
 * 1: the command ended by exiting, its exit code stored through
 *    exitCodeOut (when given); also 1 at once for SLM_DETACH_PROCESS.
 * 0: no command, layer not initialised or shut down, the start failed, the
 *    record vanished, or the child ended by a signal (the signal number is
 *    still stored; -1 when no status could be had). */
int slm_system(int ignored, const char *command, const char *directory, unsigned int flags,
               int *exitCodeOut);
/* Forks and starts `command`; the child's pid, or -1. */
int slm_spawn_process(int ignored, const char *command, const char *directory, unsigned int flags);

/* Starts argv[0] (searched in PATH) with pipes to its standard input and
 * from its standard output and error, for the descriptors asked for. The
 * pid, or 0 on failure. */
int slm_popen(char *const argv[], int *inputFdOut, int *outputFdOut, slm_child *record,
              unsigned int flags);
/* Closes the descriptors (-1: none) and collects the exit code into
 * exitCodeOut (-1 when none could be had). Always 0. */
int slm_pclose(int inputFd, int outputFd, slm_child *record, int *exitCodeOut, unsigned int flags);

/* The reaper: collects every pending status. 0, or -1 when not
 * initialised, disabled or on a wait error. */
int slm_child_exited(void);
/* Applies a wait status (traditional layout) to a registered record. */
void slm_handle_child_status(slm_child *record, int status);

/* Signal 15: 0, or -1 on failure. */
int slm_stop_process(int pid);
/* 0 while the process exists (even when it may not be signalled), -1 when
 * there is no such process. */
int slm_check_process(int pid);
/* The first 79 characters of the process's command line, arguments
 * separated by blanks. Its length, or -1. */
int slm_get_process_cmdline(int pid, char *buffer, int size);

/* 0 success, 1 failure. */
int set_env_var(const char *name, const char *value);
/* 1 when an argument is absent, else 0; an unset variable leaves buffer
 * untouched. */
int get_env_var(const char *name, char *buffer, int size);
int get_env_var_len(const char *name, int *lengthOut);

#ifdef __cplusplus
}

/* Splits `command` in place into at most SLM_MAX_WORDS words, quotes
 * grouping, and ends `words` (SLM_MAX_WORDS + 1 entries) with null.
 * Returns the number of words. */
int slmSplitCommand(char *command, char *words[]);
/* Tests only: the call that shutdown signals children with (null: kill). */
void slmSystemSetKillForTest(int (*killFunction)(int, int));
#endif

#endif /* SLM_SYSTEM_UNIX_H */
