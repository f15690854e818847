/*
 * The agent's child processes: run a command through the shell and collect
 * how it ended.
 */
#ifndef SLM_SYSTEM_UNIX_H
#define SLM_SYSTEM_UNIX_H

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

/* 0 on success, -1 on failure. */
int slm_system_init(void);
void slm_system_shutdown(void);

/* Runs `command` with "/bin/sh -c" in `directory` (when given) and waits.
 * 1: the command ended by exiting, its exit code stored through
 *    exitCodeOut (when given); also 1 at once for SLM_DETACH_PROCESS.
 * 0: no command, layer not initialised or shut down, the start failed, or
 *    the child ended by a signal (the signal number is still stored). */
int slm_system(int ignored, const char *command, const char *directory, unsigned int flags,
               int *exitCodeOut);

#ifdef __cplusplus
}
#endif

#endif /* SLM_SYSTEM_UNIX_H */
