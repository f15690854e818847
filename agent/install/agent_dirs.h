/*
 * The controller's directories: the agent's base directory (read from the
 * agent's ini file), the fixed platform directories, and path helpers.
 */
#ifndef AGENT_DIRS_H
#define AGENT_DIRS_H

#ifdef __cplusplus
extern "C" {
#endif

#define AGENT_DIR_BUFFER_SIZE 1024

/* 1 once the ini file has been loaded: it is read at most once per run. */
extern int conf_file_loaded;
/* The root directory, stored by getBaseDir. */
extern char baseDir[AGENT_DIR_BUFFER_SIZE];

/* 0 loaded, 1 error, 2 no ini file. */
int loadIniFile(void);
/* 0 success, else the non-zero result of loadIniFile, or 1. */
int readAgentBaseDir(char *buffer, int size);

/* Fixed directories; each fills the buffer (at most size - 1 characters,
 * last byte zero) and returns 0. */
int getOldServiceDir(char *buffer, int size);
int getOldBaseDir(char *buffer, int size);
int getConfDir(char *buffer, int size);
int defaultTempDir(char *buffer, int size);
int getBaseDir(void);

/* 1 when a status query on the path succeeds, else 0. */
int checkPath(const char *candidate);
/* Removes "/.." steps in place. 0 resolved (or nothing to resolve), 1 refused. */
int resolvePath(char *candidate);
/* Turns every backslash into a slash. */
void correctWinPath(char *candidate);

#ifdef __cplusplus
}

/* The ini reader with its inputs made explicit, for tests. */
int loadIniFileFrom(const char *iniPath, const char *tempDir);
#endif

#endif /* AGENT_DIRS_H */
